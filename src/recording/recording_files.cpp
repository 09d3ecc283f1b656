#include "recording/recording_files.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/apphelpers.h"
#include "platform/pathutil.h"
#include "recording/delete_folder.h"
#include "recording/recordingname.h"

namespace qv {

namespace {

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Deletes one file of a pair (see DeleteRecordingPair).
bool DeleteOne(const std::string& path, std::string* error) {
  if (path.empty() || !IsRecordingFileName(path) || !PathExists(path)) return true;
  const std::string folder = DeleteFolderOf(path);
  if (!folder.empty() && IsFolder(folder)) return MoveToDeleteFolder(path, error);
  return DeletePathWithShell(path, error);
}

}  // namespace

bool DeleteRecordingPair(const std::string& frontPath, const std::string& rearPath, std::string* error) {
  return DeleteOne(frontPath, error) && DeleteOne(rearPath, error);
}

bool ListFolderSorted(const std::string& folder, std::vector<std::string>& names, char32_t firstChar) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  const std::string first = Utf8(firstChar);
  const size_t before = names.size();
  errno = 0;
  while (struct dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.' || name.compare(0, first.size(), first) != 0) continue;
    if (IsFolder(folder + "/" + name)) continue;
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin() + static_cast<std::ptrdiff_t>(before), names.end());
  return true;
}

}  // namespace qv
