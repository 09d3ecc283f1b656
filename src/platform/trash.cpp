#include "platform/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/atomicwrite.h"
#include "platform/drives.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv {

namespace {

std::string Describe(int err) { return std::strerror(err); }

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  struct passwd pw;
  struct passwd* result = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &result) == 0 && result && result->pw_dir) return result->pw_dir;
  return {};
}

std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

// The device of a folder, or of its nearest existing ancestor when it does
// not exist yet.
bool DeviceOf(std::string path, dev_t& dev) {
  for (int depth = 0; depth < 256 && !path.empty(); ++depth) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      dev = st.st_dev;
      return true;
    }
    if (path == "/") break;
    path = ParentFolder(path);
  }
  return false;
}

// mkdir -p with the given mode for the folders it creates.
bool MakeFolders(const std::string& path, mode_t mode, int& err) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    err = ENOTDIR;
    return false;
  }
  if (path != "/" && !MakeFolders(ParentFolder(path), mode, err)) return false;
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    err = errno;
    return false;
  }
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    err = ENOTDIR;
    return false;
  }
  return true;
}

// Percent-encoding of a path for the Path= line (bytes outside the
// unreserved set and '/').
std::string EncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string TwoDigits(int v) { return FormatPadded(v, 2); }

// The deletion time as the trash layout wants it: local time, no zone.
std::string DeletionDate() {
  time_t now = time(nullptr);
  struct tm t;
  if (!localtime_r(&now, &t)) return "1970-01-01T00:00:00";
  return FormatInt(t.tm_year + 1900) + "-" + TwoDigits(t.tm_mon + 1) + "-" + TwoDigits(t.tm_mday) + "T" +
         TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
}

// The trash folder for an item on a file system other than the home one.
bool TopDirTrash(const std::string& topdir, std::string& trash, int& err) {
  const std::string uid = FormatInt(getuid());
  // An administrator-made shared trash: a real folder with the sticky bit.
  const std::string shared = (topdir == "/" ? "" : topdir) + "/.Trash";
  struct stat st;
  if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    int sharedErr = 0;
    if (MakeFolders(shared + "/" + uid, 0700, sharedErr)) {
      trash = shared + "/" + uid;
      return true;
    }
  }
  trash = (topdir == "/" ? "" : topdir) + "/.Trash-" + uid;
  if (lstat(trash.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    err = ENOTDIR;  // a link or a file in its place is not trusted
    return false;
  }
  return MakeFolders(trash, 0700, err);
}

}  // namespace

TrashResult MoveToTrash(const std::string& path) {
  TrashResult r;
  if (path.empty()) {
    r.error = "No file was named for the trash.";
    return r;
  }
  // The absolute path of the item itself (a symbolic link is trashed as the
  // link, so only its folder is resolved).
  std::string folder;
  {
    char* real = realpath(ParentFolder(path).c_str(), nullptr);
    if (!real) {
      r.error = "Cannot move \"" + path + "\" to the trash: " + Describe(errno) + ".";
      return r;
    }
    folder = real;
    free(real);
  }
  const std::string name = BaseName(path);
  if (name.empty() || name == "." || name == "..") {
    r.error = "Cannot move \"" + path + "\" to the trash: not a file or folder name.";
    return r;
  }
  const std::string absolute = (folder == "/" ? "" : folder) + "/" + name;
  struct stat item;
  if (lstat(absolute.c_str(), &item) != 0) {
    r.error = "Cannot move \"" + path + "\" to the trash: " + Describe(errno) + ".";
    return r;
  }

  auto refuse = [&](int e) {
    r.error = "The trash cannot take \"" + path + "\" (" + Describe(e) + "); it was not deleted.";
    return r;
  };

  // Which trash: the home one on the same device, else the file system's own.
  std::string trash;
  std::string pathInInfo = absolute;
  int err = 0;
  dev_t homeDevice = 0;
  const std::string dataHome = DataHome();
  if (!dataHome.empty() && DeviceOf(dataHome, homeDevice) && homeDevice == item.st_dev) {
    trash = dataHome + "/Trash";
    if (!MakeFolders(trash, 0700, err)) trash.clear();
  } else {
    std::string topdir = MountRootOf(folder);
    if (topdir.empty()) {
      err = errno ? errno : ENOENT;
    } else if (TopDirTrash(topdir, trash, err)) {
      // Paths in a top directory's trash are relative to that directory.
      if (topdir != "/" && absolute.compare(0, topdir.size() + 1, topdir + "/") == 0)
        pathInInfo = absolute.substr(topdir.size() + 1);
    } else {
      trash.clear();
    }
  }
  if (!trash.empty() && (!MakeFolders(trash + "/files", 0700, err) || !MakeFolders(trash + "/info", 0700, err)))
    trash.clear();
  if (trash.empty()) return refuse(err);

  // Reserve a free name: the .trashinfo file is created exclusively first.
  std::string trashName, infoPath;
  int fd = -1;
  for (int n = 1; n < 100000 && fd < 0; ++n) {
    trashName = n == 1 ? name : name + "." + FormatInt(n);
    infoPath = trash + "/info/" + trashName + ".trashinfo";
    struct stat st;
    if (lstat((trash + "/files/" + trashName).c_str(), &st) == 0) continue;
    fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) {
      err = errno;
      break;
    }
  }
  if (fd < 0) return refuse(err ? err : EEXIST);
  close(fd);
  const std::string info = "[Trash Info]\nPath=" + EncodePath(pathInInfo) + "\nDeletionDate=" + DeletionDate() + "\n";
  if (!ReplaceFileContent(infoPath, info, &err)) {
    unlink(infoPath.c_str());
    return refuse(err);
  }
  const std::string target = trash + "/files/" + trashName;
  if (RenameNoReplace(absolute, target) != 0) {
    err = errno;
    unlink(infoPath.c_str());
    return refuse(err);
  }
  r.ok = true;
  r.trashedPath = target;
  return r;
}

}  // namespace qv
