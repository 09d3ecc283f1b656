#include "platform/drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <climits>
#include <cstdlib>
#include <set>

#include "platform/atomicwrite.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv {

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// The kernel writes space, tab, newline and backslash in paths as \ooo.
std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
        s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ParseUnsigned(std::string_view s, unsigned& out) {
  int64_t v = 0;
  if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos || !ParseInt64(s, v) || v > UINT_MAX)
    return false;
  out = static_cast<unsigned>(v);
  return true;
}

std::string Resolve(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  free(real);
  return out;
}

std::string ReadAttribute(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The sysfs folder of the block device a mount sits on; empty for file
// systems without one (tmpfs, proc, network...).  A file system in user
// space (ntfs-3g, exfat-fuse) has no device number of its own, but names its
// device as the source.
std::string BlockDeviceOf(const std::string& sysfsRoot, const MountEntry& e) {
  if (e.major != 0) return Resolve(sysfsRoot + "/dev/block/" + std::to_string(e.major) + ":" + std::to_string(e.minor));
  if (e.source.rfind("/dev/", 0) == 0 && e.source.size() > 5 && e.source.find('/', 5) == std::string::npos)
    return Resolve(sysfsRoot + "/class/block/" + e.source.substr(5));
  return {};
}

// Whether a block device (its sysfs folder) lies on removable media.
bool IsRemovableDevice(const std::string& device) {
  // A partition's disk is the folder above it.
  std::string disk = PathExists(device + "/partition") ? ParentFolder(device) : device;
  std::string name = BaseName(disk);
  if (name.rfind("sr", 0) == 0) return false;  // optical drives are not removable drives
  if (name.rfind("mmcblk", 0) == 0) return true;
  if (ReadAttribute(disk + "/removable") == "1") return true;
  // On USB: some folder on the way from the bus to the disk is a USB device.
  for (size_t pos = disk.find("/usb"); pos != std::string::npos; pos = disk.find("/usb", pos + 1)) {
    size_t end = disk.find('/', pos + 1);
    std::string part = disk.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    if (part.size() > 3 && part.find_first_not_of("0123456789", 3) == std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> out;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string_view> f = SplitFields(line);
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    if (f.size() < 7) continue;
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) continue;
    size_t colon = f[2].find(':');
    MountEntry e;
    if (colon == std::string_view::npos || !ParseUnsigned(f[2].substr(0, colon), e.major) ||
        !ParseUnsigned(f[2].substr(colon + 1), e.minor))
      continue;
    e.root = Unescape(f[3]);
    e.mountPoint = Unescape(f[4]);
    e.fsType = Unescape(f[dash + 1]);
    e.source = Unescape(f[dash + 2]);
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<std::string> ListRemovableMounts(const std::string& mountInfoPath, const std::string& sysfsRoot) {
  std::vector<std::string> out;
  std::string text;
  if (!ReadWholeFile(mountInfoPath, text)) return out;
  std::set<std::string> seen;
  for (const MountEntry& e : ParseMountInfo(text)) {
    if (e.root != "/") continue;
    const std::string device = BlockDeviceOf(sysfsRoot, e);
    if (device.empty() || !IsRemovableDevice(device)) continue;
    if (!seen.insert(device).second) continue;
    out.push_back(e.mountPoint);
  }
  return out;
}

std::string MountRootOf(const std::string& path) {
  std::string current = Resolve(path);
  if (current.empty()) return {};
  struct stat st;
  if (stat(current.c_str(), &st) != 0) return {};
  const dev_t device = st.st_dev;
  while (current != "/") {
    std::string up = ParentFolder(current);
    struct stat pst;
    if (up.empty() || stat(up.c_str(), &pst) != 0 || pst.st_dev != device) break;
    current = up;
  }
  return current;
}

bool GetDiskSpace(const std::string& path, DiskSpace& out) {
  struct statvfs vfs;
  if (path.empty() || statvfs(path.c_str(), &vfs) != 0) return false;
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  out.totalBytes = static_cast<uint64_t>(vfs.f_blocks) * unit;
  out.availableBytes = static_cast<uint64_t>(vfs.f_bavail) * unit;
  return true;
}

}  // namespace qv
