// Removable media and the file systems that hold paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;        // the folder of the file system mounted here ("/" for a whole one)
  std::string mountPoint;  // with the kernel's octal escapes undone
  std::string fsType;
  std::string source;
};

// The lines of a mountinfo file (/proc/self/mountinfo), in their order;
// malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mount points of removable media, in mount order, each device once.  A
// block device counts when its disk's `removable` attribute is 1 (optical
// drives excepted), when it is an SD card ("mmcblk", which the kernel reports
// as not removable) or when it sits on USB.  Only whole file systems count,
// not folders of one mounted elsewhere.  File systems in user space count by
// the device they name as their source.  The roots are parameters so that
// tests can use fake trees.
std::vector<std::string> ListRemovableMounts(const std::string& mountInfoPath = "/proc/self/mountinfo",
                                             const std::string& sysfsRoot = "/sys");

// The top folder of the file system holding `path` (a drive's root): the
// highest folder above it that is still on the same device.  Symbolic links
// are resolved first.  Empty when the path does not exist.
std::string MountRootOf(const std::string& path);

struct DiskSpace {
  uint64_t totalBytes = 0;
  uint64_t availableBytes = 0;  // free for an unprivileged user
};
// The size and free space of the file system holding `path`; false when it
// cannot be queried.
bool GetDiskSpace(const std::string& path, DiskSpace& out);

}  // namespace qv
