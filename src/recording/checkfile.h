// The completeness test of a recording file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

enum class FileCheck {
  kComplete,    // the test passed
  kIncomplete,  // read, but no whole recording (or no regular file at all)
  kUnreadable,  // the file could not be opened or read: a failing card
};

// Passes when the file's last 97 bytes hold "CSOEND" (NUL bytes read as
// blanks) and bytes 4-7 of a head of at least 260 bytes are "ftyp".  A
// recording cut short while it was written lacks the end mark of its
// drive-data block.  A failed open or read answers kUnreadable with errno in
// *error, so that the user can be told the card cannot be read rather than
// shown a set of cut-short recordings.
FileCheck CheckRecordingFile(const std::string& path, int* error = nullptr);
// Whether CheckRecordingFile passes.
bool CheckFile(const std::string& path);
// Only the "ftyp" half of the test.
bool CheckFileType(const std::string& path);

// The same test over bytes a reader already holds (the scan reads more of
// the head for the movie index): `tail` is the file's last kCheckTailLength
// bytes, `head` its first `headLength` (at least 8).
constexpr size_t kCheckTailLength = 97;
constexpr size_t kCheckHeadLength = 260;  // files shorter than this fail
bool RecordingBytesComplete(const char* tail, const uint8_t* head, size_t headLength);
// What a failed open of `path` means: kIncomplete for a name that is no
// regular file, kUnreadable (a failing card) otherwise.
FileCheck OpenFailureCheck(int openError);

}  // namespace qv
