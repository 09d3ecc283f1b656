#include "recording/delete_folder.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>

#include "platform/drives.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "recording/recording_files.h"
#include "recording/recordingname.h"

namespace qv {

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::string DeleteFolderOf(const std::string& path) {
  std::string root = MountRootOf(path);
  if (root.empty()) return {};
  return (root == "/" ? "" : root) + "/" + kDeleteFolderName;
}

char DeleteFolderPrefix(const std::string& path) {
  const char32_t trigger = RecordingNameChar(path, 10);
  return (trigger == U'P' || trigger == U'S') ? 'P' : 'N';
}

std::string DeleteFolderName(char prefix, int number) {
  std::string digits = FormatInt(number);
  while (digits.size() < 4) digits.insert(digits.begin(), '0');
  return std::string(1, prefix) + "TMP" + digits + ".DAT";
}

int DeleteFolderNumber(const std::string& name, char prefix) {
  if (name.size() != 12 || name[0] != prefix || name.compare(1, 3, "TMP") != 0 || name.compare(8, 4, ".DAT") != 0)
    return -1;
  int n = 0;
  for (size_t i = 4; i < 8; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

bool MoveToDeleteFolder(const std::string& path, std::string* error) {
  if (!PathExists(path)) return true;
  const std::string folder = DeleteFolderOf(path);
  if (folder.empty() || !IsFolder(folder)) {
    SetError(error, "There is no \"" + std::string(kDeleteFolderName) + "\" for \"" + path + "\".");
    return false;
  }
  const char prefix = DeleteFolderPrefix(path);
  std::vector<std::string> names;
  if (!ListFolderSorted(folder, names, static_cast<char32_t>(prefix))) {
    SetError(error, "Cannot list \"" + folder + "\": " + std::strerror(errno) + ".");
    return false;
  }
  std::vector<int> taken;
  for (const std::string& name : names)
    if (int n = DeleteFolderNumber(name, prefix); n >= 0) taken.push_back(n);
  const int number = ChooseDeleteFolderNumber(
      taken, [&](int n) { return PathExists(folder + "/" + DeleteFolderName(prefix, n)); });
  if (number < 0) {
    SetError(error, "No free number is left in \"" + folder + "\".");
    return false;
  }
  const std::string target = folder + "/" + DeleteFolderName(prefix, number);
  if (RenameNoReplace(path, target) != 0) {
    SetError(error, "Cannot move \"" + path + "\" to \"" + target + "\": " + std::strerror(errno) + ".");
    return false;
  }
  return true;
}

}  // namespace qv
