#include "filesource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <utility>

#include "platform/pathutil.h"

namespace qv {

namespace {

std::atomic<int64_t> g_delayMicroseconds{0};
std::atomic<std::thread::id> g_countedThread{};
std::atomic<uint64_t> g_countedCalls{0};

void WaitLikeASlowCard() {
  if (std::this_thread::get_id() == g_countedThread.load(std::memory_order_relaxed)) ++g_countedCalls;
  if (const int64_t us = g_delayMicroseconds.load(std::memory_order_relaxed); us > 0)
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

}  // namespace

void SetFileSourceDelay(std::chrono::microseconds delay) { g_delayMicroseconds.store(delay.count()); }

void CountFileSourceCallsOn(std::thread::id thread) {
  g_countedThread.store(thread);
  g_countedCalls.store(0);
}

uint64_t FileSourceCallsCounted() { return g_countedCalls.load(); }

FileSource::~FileSource() { Close(); }

FileSource::FileSource(FileSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(std::exchange(other.size_, 0)), error_(other.error_) {}

FileSource& FileSource::operator=(FileSource&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    size_ = std::exchange(other.size_, 0);
    error_ = other.error_;
  }
  return *this;
}

bool FileSource::Open(const std::string& path) {
  Close();
  WaitLikeASlowCard();
  uint64_t size = 0;
  const int fd = OpenRegularFile(path, &error_, &size);
  if (fd < 0) return false;
  fd_ = fd;
  size_ = size;
  return true;
}

void FileSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

int64_t FileSource::Read(uint64_t offset, void* buf, size_t len) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  WaitLikeASlowCard();
  char* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < len) {
    ssize_t n = ::pread(fd_, p + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool FileSource::ReadExact(uint64_t offset, void* buf, size_t len) {
  int64_t n = Read(offset, buf, len);
  if (n < 0) return false;
  if (static_cast<size_t>(n) != len) {
    error_ = EIO;
    return false;
  }
  return true;
}

}  // namespace qv
