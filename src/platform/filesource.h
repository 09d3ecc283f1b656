// Read-only access to a recording file by positioned reads.
//
// Files are never mapped: a card pulled out while a mapped view is in use
// kills the process with SIGBUS, whereas pread simply fails with EIO.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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
  int fd_ = -1;
  uint64_t size_ = 0;
  int error_ = 0;
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
