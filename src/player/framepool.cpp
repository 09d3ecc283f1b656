#include "player/framepool.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace qv {

// The blocks, by kind: those handed out are counted, those given back are
// kept while their size is the kind's current one.
class FramePool::Store {
 public:
  ~Store() {
    for (Kept& k : kinds_) {
      for (void* b : k.blocks) munmap(b, k.size);
    }
  }

  // A block of at least `bytes` for `kind`; null when none can be mapped.
  // A new size makes the kind drop the blocks it kept of the old one.
  void* Take(Kind kind, size_t bytes, size_t* size) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    *size = (bytes + page - 1) / page * page;
    std::vector<void*> drop;
    size_t dropSize = 0;
    void* block = nullptr;
    {
      std::lock_guard<std::mutex> l(lock_);
      Kept& k = kinds_[kind];
      if (k.size != *size) {
        drop.swap(k.blocks);
        dropSize = k.size;
        k.size = *size;
      }
      if (!k.blocks.empty()) {
        block = k.blocks.back();
        k.blocks.pop_back();
        ++figures_.reused;
        ++figures_.inUse;
      }
    }
    for (void* b : drop) Unmap(b, dropSize);
    if (block) return block;
    block = mmap(nullptr, *size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    std::lock_guard<std::mutex> l(lock_);
    ++figures_.mapped;
    ++figures_.inUse;
    figures_.bytes += *size;
    return block;
  }

  void Give(Kind kind, void* block, size_t size) {
    {
      std::lock_guard<std::mutex> l(lock_);
      --figures_.inUse;
      Kept& k = kinds_[kind];
      if (k.size == size) {
        k.blocks.push_back(block);
        return;
      }
    }
    Unmap(block, size);
  }

  Figures Counts() const {
    std::lock_guard<std::mutex> l(lock_);
    Figures f = figures_;
    for (const Kept& k : kinds_) f.kept += k.blocks.size();
    return f;
  }

 private:
  void Unmap(void* block, size_t size) {
    munmap(block, size);
    std::lock_guard<std::mutex> l(lock_);
    figures_.bytes -= size;
  }

  struct Kept {
    size_t size = 0;
    std::vector<void*> blocks;
  };
  mutable std::mutex lock_;
  Kept kinds_[kKinds];
  Figures figures_;
};

namespace {

// ---- The GStreamer side: an allocator whose memories are pool blocks.

struct FrameMemory {
  GstMemory mem;
  uint8_t* block;
  size_t blockSize;
};

struct QvFrameAllocator {
  GstAllocator parent;
  std::shared_ptr<FramePool::Store>* store;
};

struct QvFrameAllocatorClass {
  GstAllocatorClass parent_class;
};

FramePool::Store& StoreOf(GstAllocator* allocator) {
  return **reinterpret_cast<QvFrameAllocator*>(allocator)->store;
}

GstMemory* AllocMemory(GstAllocator* allocator, gsize size, GstAllocationParams* params) {
  const gsize maxsize = size + params->prefix + params->padding;
  size_t blockSize = 0;
  // Blocks are page-aligned, which meets any alignment asked for.
  auto* block = static_cast<uint8_t*>(StoreOf(allocator).Take(FramePool::kDecoded, maxsize, &blockSize));
  if (!block) return nullptr;
  auto* m = g_new0(FrameMemory, 1);
  m->block = block;
  m->blockSize = blockSize;
  gst_memory_init(&m->mem, GstMemoryFlags(params->flags), allocator, nullptr, maxsize, params->align, params->prefix,
                  size);
  if (params->prefix && (params->flags & GST_MEMORY_FLAG_ZERO_PREFIXED)) std::memset(block, 0, params->prefix);
  if (params->padding && (params->flags & GST_MEMORY_FLAG_ZERO_PADDED))
    std::memset(block + params->prefix + size, 0, params->padding);
  return &m->mem;
}

void FreeMemory(GstAllocator* allocator, GstMemory* mem) {
  auto* m = reinterpret_cast<FrameMemory*>(mem);
  // A shared part owns no block (it holds its parent, which does).
  if (m->blockSize) StoreOf(allocator).Give(FramePool::kDecoded, m->block, m->blockSize);
  g_free(m);
}

gpointer MapMemory(GstMemory* mem, gsize, GstMapFlags) { return reinterpret_cast<FrameMemory*>(mem)->block; }

void UnmapMemory(GstMemory*) {}

GstMemory* CopyMemory(GstMemory* mem, gssize offset, gssize wanted) {
  const gsize size = wanted >= 0 ? gsize(wanted) : mem->size > gsize(offset) ? mem->size - gsize(offset) : 0;
  GstMemory* copy = gst_allocator_alloc(nullptr, size, nullptr);
  GstMapInfo to;
  if (copy && gst_memory_map(copy, &to, GST_MAP_WRITE)) {
    std::memcpy(to.data, reinterpret_cast<FrameMemory*>(mem)->block + mem->offset + offset, size);
    gst_memory_unmap(copy, &to);
  }
  return copy;
}

// A part of the same block; the part holds its parent until it goes.
GstMemory* ShareMemory(GstMemory* mem, gssize offset, gssize size) {
  GstMemory* parent = mem->parent ? mem->parent : mem;
  if (size == -1) size = gssize(mem->size) - offset;
  auto* sub = g_new0(FrameMemory, 1);
  sub->block = reinterpret_cast<FrameMemory*>(mem)->block;
  gst_memory_init(&sub->mem, GstMemoryFlags(GST_MINI_OBJECT_FLAGS(parent) | GST_MINI_OBJECT_FLAG_LOCK_READONLY),
                  mem->allocator, parent, mem->maxsize, mem->align, gsize(gssize(mem->offset) + offset), gsize(size));
  return &sub->mem;
}

G_DEFINE_TYPE(QvFrameAllocator, qv_frame_allocator, GST_TYPE_ALLOCATOR)

void qv_frame_allocator_init(QvFrameAllocator* self) {
  GstAllocator* a = GST_ALLOCATOR(self);
  a->mem_type = "QvFrameMemory";
  a->mem_map = MapMemory;
  a->mem_unmap = UnmapMemory;
  a->mem_copy = CopyMemory;
  a->mem_share = ShareMemory;
  // Never chosen as a default allocator.
  GST_OBJECT_FLAG_SET(self, GST_ALLOCATOR_FLAG_CUSTOM_ALLOC);
  self->store = new std::shared_ptr<FramePool::Store>;
}

void FinalizeAllocator(GObject* object) {
  delete reinterpret_cast<QvFrameAllocator*>(object)->store;
  G_OBJECT_CLASS(qv_frame_allocator_parent_class)->finalize(object);
}

void qv_frame_allocator_class_init(QvFrameAllocatorClass* klass) {
  GST_ALLOCATOR_CLASS(klass)->alloc = AllocMemory;
  GST_ALLOCATOR_CLASS(klass)->free = FreeMemory;
  G_OBJECT_CLASS(klass)->finalize = FinalizeAllocator;
}

// What a picture's pixels give back when the last image sharing them goes.
struct PictureBlock {
  std::shared_ptr<FramePool::Store> store;
  void* block;
  size_t size;
};

void GivePicture(void* info) {
  auto* p = static_cast<PictureBlock*>(info);
  p->store->Give(FramePool::kPicture, p->block, p->size);
  delete p;
}

}  // namespace

FramePool::FramePool() : store_(std::make_shared<Store>()) {
  gst_init(nullptr, nullptr);
  allocator_ = GST_ALLOCATOR(g_object_new(qv_frame_allocator_get_type(), nullptr));
  gst_object_ref_sink(allocator_);
  *reinterpret_cast<QvFrameAllocator*>(allocator_)->store = store_;
}

FramePool::~FramePool() { gst_object_unref(allocator_); }

bool FramePool::AnswerAllocation(GstQuery* query) const {
  GstCaps* caps = nullptr;
  gboolean needPool = FALSE;
  gst_query_parse_allocation(query, &caps, &needPool);
  GstVideoInfo info;
  if (!caps || !gst_video_info_from_caps(&info, caps)) return false;
  GstAllocationParams params;
  gst_allocation_params_init(&params);
  gst_query_add_allocation_param(query, allocator_, &params);
  GstBufferPool* pool = gst_video_buffer_pool_new();
  GstStructure* config = gst_buffer_pool_get_config(pool);
  gst_buffer_pool_config_set_params(config, caps, guint(GST_VIDEO_INFO_SIZE(&info)), 0, 0);
  gst_buffer_pool_config_set_allocator(config, allocator_, &params);
  gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
  gst_buffer_pool_set_config(pool, config);
  // No upper bound: the decoder keeps as many pictures as its threads need.
  gst_query_add_allocation_pool(query, pool, guint(GST_VIDEO_INFO_SIZE(&info)), 0, 0);
  gst_object_unref(pool);
  gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
  return true;
}

QImage FramePool::Picture(int width, int height) const {
  if (width <= 0 || height <= 0) return QImage();
  const qsizetype stride = qsizetype(width) * 4;
  size_t size = 0;
  void* block = store_->Take(kPicture, size_t(stride) * size_t(height), &size);
  if (!block) return QImage();
  return QImage(static_cast<uchar*>(block), width, height, stride, QImage::Format_RGB32, GivePicture,
                new PictureBlock{store_, block, size});
}

FramePool::Figures FramePool::Counts() const { return store_->Counts(); }

}  // namespace qv
