#include "platform/atomicwrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv {

namespace {

std::atomic<unsigned> g_tempCounter{0};

WriterSteps g_realSteps;
std::atomic<WriterSteps*> g_steps{&g_realSteps};

WriterSteps& Steps() { return *g_steps.load(); }

// Names longer than this are cut in the hidden name, which must still fit
// the file system's 255-byte limit with its prefix and suffix.
constexpr size_t kMaxNameInTemporary = 200;

// The file a path finally names (symbolic links followed); the path itself
// when it does not exist yet or is no link.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (real) {
      std::string out(real);
      free(real);
      return out;
    }
  }
  return path;
}

// What sets our files under construction apart from anybody else's hidden
// files: ".NAME.qvtmp-<pid>-<n>".
constexpr std::string_view kTemporaryMark = ".qvtmp-";

// The process id in a hidden name ".NAME.qvtmp-<pid>-<n>", or 0 when the name
// is not of that form (a user's ".notes.2024-01" is never taken for ours).
pid_t TemporaryOwner(std::string_view name) {
  if (name.size() < 2 || name.front() != '.') return 0;
  const size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || mark == 0) return 0;
  const std::string_view tail = name.substr(mark + kTemporaryMark.size());
  const size_t dash = tail.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == tail.size()) return 0;
  for (size_t i = 0; i < tail.size(); ++i)
    if (i != dash && (tail[i] < '0' || tail[i] > '9')) return 0;
  int64_t pid = 0;
  if (!ParseInt64(tail.substr(0, dash), pid) || pid <= 0 || pid > INT32_MAX) return 0;
  return static_cast<pid_t>(pid);
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);  // best effort: not every file system syncs folders
  close(fd);
}

// Gives the open, unnamed file `fd` the name `name`; false with errno.
bool LinkUnnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + FormatInt(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != ENOENT || PathExists("/proc/self/fd")) return false;
  return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

}  // namespace

std::string TemporaryNameFor(const std::string& target) {
  std::string name = BaseName(target);
  if (name.size() > kMaxNameInTemporary) {
    // Cut between characters: FAT and exFAT refuse a name that is not UTF-8.
    size_t n = kMaxNameInTemporary;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    name.resize(n);
  }
  return JoinPath(ParentFolder(target), "." + name + std::string(kTemporaryMark) + FormatInt(getpid()) + "-" +
                                            FormatInt(g_tempCounter.fetch_add(1)));
}

namespace {

// Lists the files under construction in `folder`; with `removeStale` those
// of processes that no longer run go.  -1 when the folder cannot be listed,
// else how many were removed; `left` receives how many are still there.
int ScanTemporaries(const std::string& folder, bool removeStale, int& left) {
  left = -1;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return -1;
  const pid_t self = getpid();
  int removed = 0;
  left = 0;
  while (struct dirent* e = readdir(dir)) {
    const pid_t owner = TemporaryOwner(e->d_name);
    if (owner == 0) continue;
    // Only our own regular files; a link of such a name is left alone and
    // never followed.
    struct stat st;
    if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (removeStale && owner != self && !ProcessRuns(owner) && unlinkat(dirfd(dir), e->d_name, 0) == 0) {
      ++removed;
      continue;
    }
    ++left;
  }
  closedir(dir);
  return removed;
}

}  // namespace

bool ProcessRuns(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

int WriterSteps::MakeUnnamed(const std::string& folder) {
  return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}
int WriterSteps::Sync(int fd, const std::string&) { return fsync(fd); }
int WriterSteps::Remove(const std::string& path) { return unlink(path.c_str()); }

void SetWriterSteps(WriterSteps* steps) { g_steps.store(steps ? steps : &g_realSteps); }

int RemoveStaleTemporaries(const std::string& folder) {
  int left;
  return std::max(ScanTemporaries(folder, true, left), 0);
}

int CountTemporaries(const std::string& folder) {
  int found;
  return ScanTemporaries(folder, false, found) < 0 ? -1 : found;
}

bool SafeFileWriter::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  Abandon();
  return false;
}

bool SafeFileWriter::TargetIsProtected() {
  // Our named file stands in the target's folder: where the file system
  // finds it in a protected file's folder too, the folders are one.
  reachedProtected_ = ReachesOpenFile(target_, temp_, protect_);
  return reachedProtected_;
}

int SafeFileWriter::MoveInPlace() {
  if (existing_ == Existing::kRefuse) return RenameNoReplace(temp_, target_, claims_);
  if (protect_.empty()) return rename(temp_.c_str(), target_.c_str());
  // The name is taken only where the file system says it is free; a file
  // it finds there is replaced only when it is none of the protected ones.
  if (RenameNoReplace(temp_, target_, claims_) == 0) return 0;
  if (errno != EEXIST) return -1;
  if (TargetIsProtected()) {
    errno = EEXIST;
    return -1;
  }
  return rename(temp_.c_str(), target_.c_str());
}

bool SafeFileWriter::Open(const std::string& path, Existing existing, Temporary temporary) {
  Abandon();
  error_ = 0;
  reachedProtected_ = false;
  existing_ = existing;
  keepMode_ = false;
  if (path.empty()) return Fail(ENOENT);
  target_ = existing == Existing::kReplace ? ResolveTarget(path) : path;
  // Refusing, any name counts, even a dangling link's; replacing, a link
  // whose target is missing is replaced like a missing file.
  struct stat old;
  if ((existing == Existing::kRefuse ? lstat(target_.c_str(), &old) : stat(target_.c_str(), &old)) == 0) {
    if (existing == Existing::kRefuse) return Fail(EEXIST);
    if (!S_ISREG(old.st_mode)) return Fail(S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    keepMode_ = true;
    mode_ = old.st_mode & 07777;
  }
  const std::string folder = ParentFolder(target_);
  if (noteFolder_) noteFolder_(folder);
  RemoveStaleTemporaries(folder);

  if (temporary == Temporary::kUnnamedWhereSupported) {
    fd_ = Steps().MakeUnnamed(folder);
    // File systems without unnamed files answer one of these.
    if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOSYS)
      return Fail(errno);
    unnamed_ = fd_ >= 0;
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TemporaryNameFor(target_);
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int err = errno;
    temp_.clear();
    return Fail(err);
  }
  if (keepMode_) (void)fchmod(fd_, mode_);  // best effort: the owner may differ
  // Refused before a byte is written; the commit asks again.
  if (!protect_.empty() && existing == Existing::kReplace && PathExists(target_) && TargetIsProtected())
    return Fail(EEXIST);
  return true;
}

bool SafeFileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0) return Fail(EBADF);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : EIO);
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SafeFileWriter::Commit() {
  if (fd_ < 0) return Fail(error_ != 0 ? error_ : EBADF);
  // On the disk before it takes the target's name.
  if (Steps().Sync(fd_, target_) != 0) return Fail(errno);
  if (unnamed_) {
    if (existing_ == Existing::kRefuse) {
      // linkat never replaces: the name is taken atomically or not at all.
      if (!LinkUnnamed(fd_, target_)) return Fail(errno);
      close(fd_);
      fd_ = -1;
      SyncFolder(ParentFolder(target_));
      return true;
    }
    // linkat cannot replace a name: link under a hidden one, then rename.
    for (int attempt = 0; attempt < 100 && temp_.empty(); ++attempt) {
      std::string name = TemporaryNameFor(target_);
      if (LinkUnnamed(fd_, name)) temp_ = name;
      else if (errno != EEXIST) return Fail(errno);
    }
    if (temp_.empty()) return Fail(EEXIST);
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Fail(errno);
  if (MoveInPlace() != 0) return Fail(errno);
  temp_.clear();
  SyncFolder(ParentFolder(target_));
  return true;
}

void SafeFileWriter::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) Steps().Remove(temp_);
  temp_.clear();
  unnamed_ = false;
}

bool ReplaceFileContent(const std::string& path, std::string_view data, int* error) {
  SafeFileWriter writer;
  const bool ok = writer.Open(path) && writer.Write(data) && writer.Commit();
  if (error) *error = ok ? 0 : writer.Error();
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string& out, int* error) {
  out.clear();
  int err = 0;
  const int fd = OpenRegularFile(path, &err);
  if (fd < 0) {
    if (error) *error = err;
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (err != 0) out.clear();
  if (error) *error = err;
  return err == 0;
}

}  // namespace qv
