// Finding the JPEG writer for still images.
#pragma once

#include <string>

namespace qv {

// The index of the JPEG writer among the image formats the program can
// write, with its format name copied to `format`; -1 when there is none.
int GetEncoderClsid(std::string& format);

}  // namespace qv
