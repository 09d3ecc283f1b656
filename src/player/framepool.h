// The frame memory of one player slot, kept from pipeline to pipeline: the
// decoder's picture buffers and the scaled pictures the present engine makes.
//
// Each pipeline's decoder allocates its pictures on its own threads, and the
// heap keeps what those threads freed in per-thread pools, so that a pair
// change used to leave tens of megabytes behind.  Here the blocks are mapped
// from the system directly, sized by the picture, and kept when a pipeline
// lets them go: the next pipeline of the slot takes the same blocks, and a
// pair change maps no new frame memory.  Blocks of a size no longer asked
// for are returned to the system.
//
// The presenter offers the pool to its decoder by answering the video
// sink's allocation query (a video buffer pool on Allocator(), with video
// metadata, so that the decoder renders into these blocks directly instead of
// copying each frame).  Thread-safe: streaming, scheduler and window threads
// take and give back blocks under the pool's lock.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>

typedef struct _GstAllocator GstAllocator;
typedef struct _GstQuery GstQuery;

namespace qv {

class FramePool {
 public:
  // What the pool's blocks are for; each kind keeps blocks of one size.
  enum Kind { kDecoded = 0, kPicture = 1, kKinds = 2 };

  struct Figures {
    uint64_t mapped = 0;  // blocks mapped from the system so far
    uint64_t reused = 0;  // blocks handed out again from the pool
    size_t inUse = 0;     // blocks handed out now
    size_t kept = 0;      // blocks kept for reuse now
    size_t bytes = 0;     // bytes mapped now (in use and kept)
  };

  FramePool();
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // The GStreamer allocator whose memory comes from this pool (the pool
  // keeps the reference).  Its memory outlives the pool if a buffer does.
  GstAllocator* Allocator() const { return allocator_; }
  // Answers the video sink's allocation query: a video buffer pool on
  // Allocator() and video metadata.  False when the query holds no video
  // caps (it is then left to the sink).
  bool AnswerAllocation(GstQuery* query) const;
  // A BGRx picture (QImage::Format_RGB32) whose pixels come from the pool;
  // a null image when no memory can be had.
  QImage Picture(int width, int height) const;

  Figures Counts() const;

  class Store;

 private:
  std::shared_ptr<Store> store_;
  GstAllocator* allocator_ = nullptr;
};

}  // namespace qv
