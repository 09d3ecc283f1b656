#include "platform/atomicwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace qv {

namespace {

std::atomic<unsigned> g_tempCounter{0};

void SetError(int* error, int value) {
  if (error) *error = value;
}

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

bool WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::string_view data, int* error) {
  if (path.empty()) {
    SetError(error, ENOENT);
    return false;
  }
  const std::string target = ResolveTarget(path);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    SetError(error, EISDIR);
    return false;
  }

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(g_tempCounter.fetch_add(1));
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  bool ok = WriteAll(fd, data);
  int err = ok ? 0 : errno;
  if (ok && exists && fchmod(fd, old.st_mode & 07777) != 0) {
    // Not fatal: the owner may differ (a file written by another user).
  }
  if (ok && fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    SetError(error, err);
    return false;
  }
  SetError(error, 0);
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, int* error) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    SetError(error, errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    SetError(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    close(fd);
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetError(error, errno);
      close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  SetError(error, 0);
  return true;
}

}  // namespace qv
