// Helpers shared across the program that need no window system: the
// settings file "Default_Folder.ini" in the settings folder, removable
// drives, deleting to the trash, free disk space, and small text helpers.
//
// They keep no state apart from the settings folder, which is set once at
// start-up; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The settings folder: the folder that was current at start-up; when that
// cannot be had or is the file-system root (where nobody may write), the
// folder of the program itself; empty when neither is usable.
std::string ChooseAppFolder(const std::string& currentFolder, const std::string& programFolder);
// Sets the settings folder from the running process (current folder, else
// the program's folder); answers the folder chosen.
std::string InitAppFolder();
void SetAppFolder(const std::string& folder);
std::string GetAppFolder();
// "<settings folder>/Default_Folder.ini"; empty while no folder is set.
std::string GetSettingsFilePath();

// The settings file through platform/inifile.h.  No value removes the key,
// no key the section.  A write without a settings folder fails; a read
// without one gives "".
bool WriteDefaultFolderIni(std::string_view section, std::optional<std::string_view> key,
                           std::optional<std::string_view> value);
std::string ReadDefaultFolderIni(std::string_view section, std::string_view key);

// Appends the mount points of removable media to `list`; answers the index
// of the list's last element when at least one was found, else -1 (the list
// unchanged).  The roots are for tests.
int FindRemovableDrives(std::vector<std::string>& list, const std::string& mountInfoPath = "/proc/self/mountinfo",
                        const std::string& sysfsRoot = "/sys");

// Moves a file or folder to the trash (platform/trash.h); false with a
// message for the user in `*error` when the trash cannot take it, in which
// case nothing was deleted.  An empty path gives false.
bool DeletePathWithShell(const std::string& path, std::string* error = nullptr);

// Bytes free for the user on the file system of `path`; 0 when unknown.
uint64_t GetDiskFreeBytes(const std::string& path);

// Whether the name's extension (from its last '.', after its last '/') is
// ".mp4" in any case.
bool IsMp4FileName(std::string_view name);

// The text up to (not including) its third '.'; all of it with fewer dots.
std::string TrimVersionText(std::string_view text);

// A '/' after every character at an odd position except position 5:
// "240131" -> "24/01/31".  Characters are UTF-8 sequences, not bytes.
std::string FormatDateText6(std::string_view text);

}  // namespace qv
