// Read-only access to a recording file by positioned reads.
//
// Files are never mapped: a card pulled out while a mapped view is in use
// kills the process with SIGBUS, whereas pread simply fails with EIO.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace qv {

class FileSource {
 public:
  FileSource() = default;
  explicit FileSource(const std::string& path) { Open(path); }
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  FileSource(FileSource&& other) noexcept;
  FileSource& operator=(FileSource&& other) noexcept;

  // Opens a regular file for reading; false (with LastError) otherwise.  A
  // FIFO or device is refused at once, never waited on.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Size at open time.
  uint64_t Size() const { return size_; }
  // errno of the last failure (EIO for a read that ended early).
  int LastError() const { return error_; }

  // Reads exactly `len` bytes at `offset`; false when any of them cannot be
  // read (an error, or the range runs past the end of the file).
  bool ReadExact(uint64_t offset, void* buf, size_t len);
  // Reads up to `len` bytes at `offset`; the count read, or -1 on error.
  int64_t Read(uint64_t offset, void* buf, size_t len);

 private:
  friend class ReadWindow;
  int fd_ = -1;
  uint64_t size_ = 0;
  int error_ = 0;
};

// Small reads of one file served from a window of the bytes around them: a
// range outside the window is read together with the bytes behind it, up to
// `capacity` bytes in one read, so that many small reads close together cost
// one read of the file (on a card behind a USB reader or a FUSE driver each
// read is a round trip).  The window's memory is taken on the first read and
// held while the object lives.
class ReadWindow {
 public:
  ReadWindow(FileSource& file, size_t capacity) : file_(file), capacity_(capacity) {}
  ReadWindow(const ReadWindow&) = delete;
  ReadWindow& operator=(const ReadWindow&) = delete;

  // The `n` bytes at `offset` (n at most the capacity), valid until the next
  // call; null when the file cannot give them all (see the file's
  // LastError; ENOMEM when the window's memory cannot be had).
  const uint8_t* Bytes(uint64_t offset, size_t n);
  // Copies the `n` bytes at `offset` into `out`: from the window, or a range
  // larger than the window straight from the file.  False as ReadExact.
  bool ReadExact(uint64_t offset, void* out, size_t n);

 private:
  FileSource& file_;
  const size_t capacity_;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t start_ = 0;  // file offset of window_[0]
  size_t have_ = 0;     // bytes held
};

// A slow card for tests and benchmarks: every open and every positioned read
// of a FileSource, on any thread, first waits `delay` (zero, the default,
// waits nothing).
void SetFileSourceDelay(std::chrono::microseconds delay);
// For tests: counts the opens and positioned reads made on `thread` from now
// on (a default id counts none), so that a test can tell that a card is read
// off the window thread.
void CountFileSourceCallsOn(std::thread::id thread);
uint64_t FileSourceCallsCounted();

}  // namespace qv
