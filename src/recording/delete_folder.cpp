#include "recording/delete_folder.h"

#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

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
  return JoinPath(root, kDeleteFolderName);
}

char DeleteFolderPrefix(const std::string& path) {
  const char32_t trigger = RecordingNameChar(path, 10);
  return (trigger == U'P' || trigger == U'S') ? 'P' : 'N';
}

std::string DeleteFolderName(char prefix, int number) {
  return std::string(1, prefix) + "TMP" + FormatPadded(number, 4) + ".DAT";
}

int DeleteFolderNumber(const std::string& name, char prefix) {
  // Cards compare names without regard to letter case, so "ntmp0002.dat"
  // holds number 2 as well.
  const std::string_view n = name;
  if (n.size() != 12 || !SameNameIgnoringCase(n.substr(0, 1), std::string_view(&prefix, 1)) ||
      !SameNameIgnoringCase(n.substr(1, 3), "TMP") || !SameNameIgnoringCase(n.substr(8, 4), ".DAT"))
    return -1;
  int number = 0;
  for (size_t i = 4; i < 8; ++i) {
    if (n[i] < '0' || n[i] > '9') return -1;
    number = number * 10 + (n[i] - '0');
  }
  return number;
}

bool MoveToDeleteFolder(const std::string& path, std::string* error, ClaimRecord* claims) {
  if (!PathExists(path)) return true;
  const std::string folder = DeleteFolderOf(path);
  if (folder.empty() || !IsFolder(folder)) {
    SetError(error, "There is no \"" + std::string(kDeleteFolderName) + "\" for \"" + path + "\".");
    return false;
  }
  const char prefix = DeleteFolderPrefix(path);
  // Another move may take the chosen number first, or one counted as free;
  // the move then counts again and tries the next free one.  Only a count
  // that finds the folder as it was before is a final answer.
  std::vector<std::string> previous;
  for (int attempt = 0; attempt <= kMaxDeleteFolderNumber; ++attempt) {
    std::vector<std::string> names;
    if (!ListFolderSorted(folder, names, static_cast<char32_t>(prefix)) ||
        !ListFolderSorted(folder, names, static_cast<char32_t>(prefix - 'A' + 'a'))) {
      SetError(error, "Cannot list \"" + folder + "\": " + std::strerror(errno) + ".");
      return false;
    }
    std::vector<int> taken;
    for (const std::string& name : names)
      if (int n = DeleteFolderNumber(name, prefix); n >= 0) taken.push_back(n);
    std::sort(taken.begin(), taken.end());
    const int number = ChooseDeleteFolderNumber(taken, [&](int n) {
      return std::binary_search(taken.begin(), taken.end(), n) ||
             PathExists(folder + "/" + DeleteFolderName(prefix, n));
    });
    if (number < 0 && (attempt == 0 || names != previous)) {
      previous = std::move(names);
      continue;
    }
    if (number < 0) {
      SetError(error, "No free number is left in \"" + folder + "\".");
      return false;
    }
    previous = std::move(names);
    const std::string target = folder + "/" + DeleteFolderName(prefix, number);
    if (RenameNoReplace(path, target, claims) == 0) return true;
    if (errno != EEXIST) {
      SetError(error, "Cannot move \"" + path + "\" to \"" + target + "\": " + std::strerror(errno) + ".");
      return false;
    }
  }
  SetError(error, "Cannot move \"" + path + "\" into \"" + folder + "\": other moves took every free number.");
  return false;
}

}  // namespace qv
