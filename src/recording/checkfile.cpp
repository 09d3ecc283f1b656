#include "recording/checkfile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/filesource.h"

namespace qv {

namespace {

constexpr size_t kTailLength = 97;
constexpr size_t kHeadLength = 260;

bool HeadIsMp4(FileSource& f) {
  char head[kHeadLength];
  return f.ReadExact(0, head, sizeof head) && std::memcmp(head + 4, "ftyp", 4) == 0;
}

}  // namespace

bool CheckFile(const std::string& path) {
  FileSource f;
  if (!f.Open(path) || f.Size() < kTailLength) return false;
  char tail[kTailLength];
  if (!f.ReadExact(f.Size() - kTailLength, tail, sizeof tail)) return false;
  std::replace(tail, tail + sizeof tail, '\0', ' ');
  if (std::string_view(tail, sizeof tail).find("CSOEND") == std::string_view::npos) return false;
  return HeadIsMp4(f);
}

bool CheckFileType(const std::string& path) {
  FileSource f;
  return f.Open(path) && HeadIsMp4(f);
}

}  // namespace qv
