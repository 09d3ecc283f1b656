// The completeness test of a recording file.
#pragma once

#include <string>

namespace qv {

// True when the file's last 97 bytes hold "CSOEND" (NUL bytes read as blanks)
// and bytes 4-7 of a head of at least 260 bytes are "ftyp".  A recording cut
// short while it was written lacks the end mark of its drive-data block.
bool CheckFile(const std::string& path);
// Only the "ftyp" half of the test.
bool CheckFileType(const std::string& path);

}  // namespace qv
