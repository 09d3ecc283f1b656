#include "filesource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
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

const uint8_t* ReadWindow::Bytes(uint64_t offset, size_t n) {
  if (offset >= start_ && offset - start_ <= have_ && have_ - (offset - start_) >= n)
    return window_.get() + (offset - start_);
  if (n > capacity_) {
    file_.error_ = EINVAL;
    return nullptr;
  }
  if (!window_) {
    window_.reset(new (std::nothrow) uint8_t[capacity_]);
    if (!window_) {
      file_.error_ = ENOMEM;
      return nullptr;
    }
  }
  // As much of the file behind the range as the window holds; a range past
  // the file's end fails as ReadExact does.
  const uint64_t size = file_.Size();
  const size_t want =
      offset < size && size - offset >= n ? static_cast<size_t>(std::min<uint64_t>(capacity_, size - offset)) : n;
  have_ = 0;
  if (!file_.ReadExact(offset, window_.get(), want)) return nullptr;
  start_ = offset;
  have_ = want;
  return window_.get();
}

bool ReadWindow::ReadExact(uint64_t offset, void* out, size_t n) {
  if (n == 0) return true;
  if (n > capacity_) return file_.ReadExact(offset, out, n);
  const uint8_t* p = Bytes(offset, n);
  if (!p) return false;
  std::memcpy(out, p, n);
  return true;
}

}  // namespace qv
