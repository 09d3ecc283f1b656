#include "platform/pathutil.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qv {

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string BaseName(const std::string& path) { return std::string(BaseNameView(path)); }

std::string_view BaseNameView(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void AppendUtf8(std::string& out, char32_t c) {
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
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool NamesOpenFile(const std::string& path, int fd) {
  struct stat a, b;
  return fd >= 0 && stat(path.c_str(), &a) == 0 && fstat(fd, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

CardName CardName::Of(const std::string& path) {
  CardName n;
  if (path.empty()) return n;
  // A link stands for the file it names (a dangling one for itself).
  std::string file = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      file = real;
      free(real);
    }
  }
  char* real = realpath(ParentFolder(file).c_str(), nullptr);
  if (!real) return n;
  n.realFolder = real;
  free(real);
  if (stat(n.realFolder.c_str(), &st) != 0) return n;
  n.device = st.st_dev;
  n.folderInode = st.st_ino;
  n.name = BaseName(file);
  n.known = true;
  return n;
}

bool CardName::operator==(const CardName& o) const {
  return known && o.known && device == o.device &&
         (folderInode == o.folderInode || SameNameIgnoringCase(realFolder, o.realFolder)) &&
         SameNameIgnoringCase(name, o.name);
}

bool SameFileIgnoringCase(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (!a.empty() && !b.empty() && stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
      sa.st_ino == sb.st_ino)
    return true;
  return CardName::Of(a) == CardName::Of(b);
}

std::string PathOfOpenFile(int fd) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  std::string path(4096, '\0');
  for (;;) {
    const ssize_t n = readlink(link.c_str(), path.data(), path.size());
    if (n <= 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);  // paths have no length limit
  }
}

int FileLookups::Stat(const std::string& path, struct stat& st) const { return stat(path.c_str(), &st); }
int FileLookups::StatOpen(int fd, struct stat& st) const { return fstat(fd, &st); }
bool FileLookups::Exists(const std::string& path) const { return PathExists(path); }
std::string FileLookups::PathOfOpen(int fd) const { return PathOfOpenFile(fd); }

const FileLookups& FileLookups::Real() {
  static const FileLookups real;
  return real;
}

bool ReachesOpenFile(const std::string& path, const std::string& probe, std::span<const int> fds,
                     const FileLookups& lookups) {
  struct stat target;
  if (lookups.Stat(path, target) != 0) return errno != ENOENT && errno != ENOTDIR;
  const std::string probeName = BaseName(probe);
  for (int fd : fds) {
    struct stat open;
    if (fd < 0 || lookups.StatOpen(fd, open) != 0) continue;
    if (open.st_dev == target.st_dev && open.st_ino == target.st_ino) return true;
    // Two names of one file agree in what the file system keeps with the
    // file; only then is its folder asked about.
    if (probeName.empty() || open.st_size != target.st_size || open.st_mtim.tv_sec != target.st_mtim.tv_sec ||
        open.st_mtim.tv_nsec != target.st_mtim.tv_nsec)
      continue;
    const std::string opened = lookups.PathOfOpen(fd);
    if (opened.empty() || lookups.Exists(JoinPath(ParentFolder(opened), probeName))) return true;
  }
  return false;
}

int OpenRegularFile(const std::string& path, int* error, uint64_t* size) {
  // Without O_NONBLOCK opening a FIFO waits for a writer, possibly for ever.
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  int err = fd < 0 ? errno : 0;
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) != 0) err = errno;
  else if (fd >= 0 && !S_ISREG(st.st_mode)) err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  // O_NONBLOCK stays: reads of a regular file ignore it, and a call to clear
  // it would cost every file of a scan one system call more.
  if (err != 0) {
    if (fd >= 0) close(fd);
    if (error) *error = err;
    return -1;
  }
  if (error) *error = 0;
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

namespace {

RenameSteps g_realRenameSteps;
std::atomic<RenameSteps*> g_renameSteps{&g_realRenameSteps};

RenameSteps& Renames() { return *g_renameSteps.load(); }

// Whether `path` (looked at without following a link) is an empty folder.
bool IsEmptyFolder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  bool empty = true;
  while (struct dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

}  // namespace

int RenameSteps::RenameNoReplaceFlag(const std::string& from, const std::string& to) {
#if defined(RENAME_NOREPLACE)
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
#else
  (void)from;
  (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

int RenameSteps::Link(const std::string& from, const std::string& to) { return link(from.c_str(), to.c_str()); }

int RenameSteps::Claim(const std::string& to, bool folder) {
  if (folder) return mkdir(to.c_str(), 0700);
  const int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  close(fd);
  return 0;
}

int RenameSteps::Rename(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()); }

int RenameSteps::Remove(const std::string& path, bool folder) {
  return folder ? rmdir(path.c_str()) : unlink(path.c_str());
}

bool RenameSteps::KeepsModes(const std::string& path) {
  struct statfs fs;
  if (statfs(path.c_str(), &fs) != 0) return true;
  constexpr long kMsdos = 0x4d44, kExfat = 0x2011BAB0, kFuse = 0x65735546, kNtfs = 0x5346544e;
  const long type = static_cast<long>(fs.f_type);
  return type != kMsdos && type != kExfat && type != kFuse && type != kNtfs;
}

void SetRenameSteps(RenameSteps* steps) { g_renameSteps.store(steps ? steps : &g_realRenameSteps); }

int RenameNoReplace(const std::string& from, const std::string& to, ClaimRecord* claims) {
  if (Renames().RenameNoReplaceFlag(from, to) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  return RenameNoReplaceByClaim(from, to, claims);
}

int RenameNoReplaceByClaim(const std::string& from, const std::string& to, ClaimRecord* claims) {
  RenameSteps& steps = Renames();
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return -1;
  // A folder can only be renamed over an empty folder, anything else over a
  // file; either placeholder is created only when the name is free.
  const bool folder = S_ISDIR(st.st_mode);
  if (!folder) {
    // A hard link never replaces and is atomic: where the file system has
    // them, no placeholder ever stands under the final name.
    if (steps.Link(from, to) == 0) {
      (void)unlink(from.c_str());
      return 0;
    }
    if (errno == EEXIST) return -1;
  }
  // Recorded before it exists: whatever stops us from here on, the record
  // names the placeholder.
  if (claims) claims->Claiming(to);
  int err = 0;
  if (steps.Claim(to, folder) == 0) {
    if (steps.Rename(from, to) == 0) {
      if (claims) claims->Settled(to);
      return 0;
    }
    err = errno;
    // A placeholder that cannot go stays recorded for the next start.
    if (steps.Remove(to, folder) != 0) {
      errno = err;
      return -1;
    }
  } else {
    err = errno;
  }
  if (claims) claims->Settled(to);
  errno = err;
  return -1;
}

int RemoveUnfilledClaim(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    // A free name in a folder that is there: nothing to remove.  Without
    // its folder (a card taken out) nothing can be told yet.
    if (errno == ENOENT && IsFolder(ParentFolder(path))) return 0;
    return -1;
  }
  const bool folder = S_ISDIR(st.st_mode);
  const mode_t made = folder ? 0700 : 0600;
  const bool modeFits = (st.st_mode & 07777) == made || !Renames().KeepsModes(path);
  bool placeholder = false;
  if (S_ISREG(st.st_mode)) placeholder = modeFits && st.st_size == 0 && st.st_nlink == 1;
  else if (folder) placeholder = modeFits && IsEmptyFolder(path);
  if (!placeholder) return 0;
  return Renames().Remove(path, folder) == 0 ? 1 : -1;
}

}  // namespace qv
