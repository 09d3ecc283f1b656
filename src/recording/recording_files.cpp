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

// Deletes one file of a pair (see DeleteRecordingPair).
bool DeleteOne(const std::string& path, std::string* error, ClaimRecord* claims) {
  if (path.empty() || !IsRecordingFileName(path) || !PathExists(path)) return true;
  const std::string folder = DeleteFolderOf(path);
  if (!folder.empty() && IsFolder(folder)) return MoveToDeleteFolder(path, error, claims);
  return DeletePathWithShell(path, error);
}

}  // namespace

bool DeleteRecordingPair(const std::string& frontPath, const std::string& rearPath, std::string* error,
                         ClaimRecord* claims) {
  return DeleteOne(frontPath, error, claims) && DeleteOne(rearPath, error, claims);
}

bool ListFolderSorted(const std::string& folder, std::vector<std::string>& names, char32_t firstChar) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::string first;
  AppendUtf8(first, firstChar);
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
