#include "platform/apphelpers.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/drives.h"
#include "platform/inifile.h"
#include "platform/pathutil.h"
#include "platform/trash.h"

namespace qv {

namespace {

std::mutex g_folderMutex;
std::string g_appFolder;

std::string CurrentFolder() {
  std::string buf(256, '\0');
  for (int i = 0; i < 16; ++i) {
    if (getcwd(buf.data(), buf.size())) return std::string(buf.c_str());
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
  return {};
}

std::string ProgramFolder() {
  std::string buf(256, '\0');
  for (int i = 0; i < 16; ++i) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return buf.find('/') == std::string::npos ? std::string() : ParentFolder(buf);
    }
    buf.resize(buf.size() * 2);
  }
  return {};
}

bool Usable(const std::string& folder) { return !folder.empty() && folder != "/" && folder.front() == '/'; }

}  // namespace

std::string ChooseAppFolder(const std::string& currentFolder, const std::string& programFolder) {
  if (Usable(currentFolder)) return currentFolder;
  if (Usable(programFolder)) return programFolder;
  return {};
}

std::string InitAppFolder() {
  std::string folder = ChooseAppFolder(CurrentFolder(), ProgramFolder());
  SetAppFolder(folder);
  return folder;
}

void SetAppFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  g_appFolder = folder;
}

std::string GetAppFolder() {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  return g_appFolder;
}

std::string GetSettingsFilePath() {
  std::string folder = GetAppFolder();
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  return folder + "Default_Folder.ini";
}

bool WriteDefaultFolderIni(std::string_view section, std::optional<std::string_view> key,
                           std::optional<std::string_view> value) {
  const std::string path = GetSettingsFilePath();
  if (path.empty()) return false;
  // Hiding the file has no meaning here: its name does not start with '.'.
  return WriteIniString(section, key, value, path);
}

std::string ReadDefaultFolderIni(std::string_view section, std::string_view key) {
  const std::string path = GetSettingsFilePath();
  if (path.empty()) return {};
  return ReadIniString(section, key, path);
}

int FindRemovableDrives(std::vector<std::string>& list, const std::string& mountInfoPath,
                        const std::string& sysfsRoot) {
  std::vector<std::string> found = ListRemovableMounts(mountInfoPath, sysfsRoot);
  if (found.empty()) return -1;
  list.insert(list.end(), found.begin(), found.end());
  return static_cast<int>(list.size()) - 1;
}

bool DeletePathWithShell(const std::string& path, std::string* error) {
  if (path.empty()) {
    if (error) *error = "No file was named for deletion.";
    return false;
  }
  TrashResult r = MoveToTrash(path);
  if (error) *error = r.error;
  return r.ok;
}

uint64_t GetDiskFreeBytes(const std::string& path) {
  DiskSpace space;
  return GetDiskSpace(path, space) ? space.availableBytes : 0;
}

bool IsMp4FileName(std::string_view name) {
  size_t slash = name.find_last_of('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  std::string_view ext = name.substr(dot);
  if (ext.size() != 4) return false;
  const char* want = ".mp4";
  for (size_t i = 0; i < 4; ++i) {
    char c = ext[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != want[i]) return false;
  }
  return true;
}

std::string TrimVersionText(std::string_view text) {
  size_t pos = 0;
  for (int dots = 0; dots < 3; ++dots) {
    pos = text.find('.', dots == 0 ? 0 : pos + 1);
    if (pos == std::string_view::npos) return std::string(text);
  }
  return std::string(text.substr(0, pos));
}

std::string FormatDateText6(std::string_view text) {
  std::string out;
  size_t index = 0;
  for (size_t i = 0; i < text.size();) {
    // One character: a lead byte and its continuation bytes.
    size_t len = 1;
    while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
    out.append(text.substr(i, len));
    if (index % 2 == 1 && index != 5) out += '/';
    i += len;
    ++index;
  }
  return out;
}

}  // namespace qv
