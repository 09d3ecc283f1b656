#include "recording/checkfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/filesource.h"

namespace qv {

namespace {

constexpr size_t kTailLength = 97;
constexpr size_t kHeadLength = 260;

// The open's failure: a name that is no regular file is no recording, any
// other failure is the card's.
FileCheck OpenFailure(const FileSource& f, int* error) {
  const int err = f.LastError();
  if (err == EINVAL || err == EISDIR) return FileCheck::kIncomplete;
  if (error) *error = err != 0 ? err : EIO;
  return FileCheck::kUnreadable;
}

FileCheck ReadFailure(const FileSource& f, int* error) {
  if (error) *error = f.LastError() != 0 ? f.LastError() : EIO;
  return FileCheck::kUnreadable;
}

}  // namespace

FileCheck CheckRecordingFile(const std::string& path, int* error) {
  if (error) *error = 0;
  FileSource f;
  if (!f.Open(path)) return OpenFailure(f, error);
  if (f.Size() < std::max(kTailLength, kHeadLength)) return FileCheck::kIncomplete;
  char tail[kTailLength];
  if (!f.ReadExact(f.Size() - kTailLength, tail, sizeof tail)) return ReadFailure(f, error);
  std::replace(tail, tail + sizeof tail, '\0', ' ');
  if (std::string_view(tail, sizeof tail).find("CSOEND") == std::string_view::npos) return FileCheck::kIncomplete;
  char head[kHeadLength];
  if (!f.ReadExact(0, head, sizeof head)) return ReadFailure(f, error);
  return std::memcmp(head + 4, "ftyp", 4) == 0 ? FileCheck::kComplete : FileCheck::kIncomplete;
}

bool CheckFile(const std::string& path) { return CheckRecordingFile(path) == FileCheck::kComplete; }

bool CheckFileType(const std::string& path) {
  FileSource f;
  char head[kHeadLength];
  return f.Open(path) && f.ReadExact(0, head, sizeof head) && std::memcmp(head + 4, "ftyp", 4) == 0;
}

}  // namespace qv
