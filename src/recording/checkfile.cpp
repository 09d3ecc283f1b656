#include "recording/checkfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/filesource.h"

namespace qv {

namespace {

FileCheck OpenFailure(const FileSource& f, int* error) {
  const int err = f.LastError();
  const FileCheck check = OpenFailureCheck(err);
  if (check == FileCheck::kUnreadable && error) *error = err != 0 ? err : EIO;
  return check;
}

FileCheck ReadFailure(const FileSource& f, int* error) {
  if (error) *error = f.LastError() != 0 ? f.LastError() : EIO;
  return FileCheck::kUnreadable;
}

}  // namespace

FileCheck OpenFailureCheck(int openError) {
  return openError == EINVAL || openError == EISDIR ? FileCheck::kIncomplete : FileCheck::kUnreadable;
}

bool RecordingBytesComplete(const char* tail, const uint8_t* head, size_t headLength) {
  char mark[kCheckTailLength];
  std::replace_copy(tail, tail + kCheckTailLength, mark, '\0', ' ');
  return std::string_view(mark, sizeof mark).find("CSOEND") != std::string_view::npos && headLength >= 8 &&
         std::memcmp(head + 4, "ftyp", 4) == 0;
}

FileCheck CheckRecordingFile(const std::string& path, int* error) {
  if (error) *error = 0;
  FileSource f;
  if (!f.Open(path)) return OpenFailure(f, error);
  if (f.Size() < std::max(kCheckTailLength, kCheckHeadLength)) return FileCheck::kIncomplete;
  char tail[kCheckTailLength];
  if (!f.ReadExact(f.Size() - kCheckTailLength, tail, sizeof tail)) return ReadFailure(f, error);
  uint8_t head[kCheckHeadLength];
  if (!f.ReadExact(0, head, sizeof head)) return ReadFailure(f, error);
  return RecordingBytesComplete(tail, head, sizeof head) ? FileCheck::kComplete : FileCheck::kIncomplete;
}

bool CheckFile(const std::string& path) { return CheckRecordingFile(path) == FileCheck::kComplete; }

bool CheckFileType(const std::string& path) {
  FileSource f;
  char head[kCheckHeadLength];
  return f.Open(path) && f.ReadExact(0, head, sizeof head) && std::memcmp(head + 4, "ftyp", 4) == 0;
}

}  // namespace qv
