#include "mp4layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomicwrite.h"
#include "platform/filesource.h"

namespace qv::rec {

namespace {

uint32_t Be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint64_t Be64(const unsigned char* p) { return (uint64_t(Be32(p)) << 32) | Be32(p + 4); }
void PutBe32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}
void PutBe64(unsigned char* p, uint64_t v) {
  PutBe32(p, static_cast<uint32_t>(v >> 32));
  PutBe32(p + 4, static_cast<uint32_t>(v));
}

std::string Errno(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

// A box inside an in-memory buffer.
struct Span {
  std::string type;
  size_t begin = 0, payload = 0, end = 0;
};

bool NextBox(const unsigned char* data, size_t pos, size_t end, Span& box) {
  if (end - pos < 8) return false;
  uint64_t size = Be32(data + pos);
  size_t header = 8;
  if (size == 1) {
    if (end - pos < 16) return false;
    size = Be64(data + pos + 8);
    header = 16;
  } else if (size == 0) {
    size = end - pos;
  }
  if (size < header || size > end - pos) return false;
  box.type.assign(reinterpret_cast<const char*>(data + pos + 4), 4);
  box.begin = pos;
  box.payload = pos + header;
  box.end = pos + static_cast<size_t>(size);
  return true;
}

bool IsContainer(const std::string& type) {
  return type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl";
}

// Moves every chunk offset below [begin, end) by `delta`.
bool PatchOffsets(unsigned char* data, size_t begin, size_t end, int64_t delta, std::string& error) {
  Span box;
  for (size_t pos = begin; pos < end; pos = box.end) {
    if (!NextBox(data, pos, end, box)) {
      error = "malformed box inside moov";
      return false;
    }
    if (IsContainer(box.type)) {
      if (!PatchOffsets(data, box.payload, box.end, delta, error)) return false;
    } else if (box.type == "stco" || box.type == "co64") {
      const size_t width = box.type == "stco" ? 4 : 8;
      if (box.end - box.payload < 8) {
        error = box.type + " too short";
        return false;
      }
      uint64_t count = Be32(data + box.payload + 4);
      if (count > (box.end - box.payload - 8) / width) {
        error = box.type + " count beyond its box";
        return false;
      }
      unsigned char* p = data + box.payload + 8;
      for (uint64_t i = 0; i < count; ++i, p += width) {
        int64_t value = static_cast<int64_t>(width == 4 ? Be32(p) : Be64(p)) + delta;
        if (value < 0 || (width == 4 && value > 0xFFFFFFFFll)) {
          error = "chunk offset out of range after the move";
          return false;
        }
        if (width == 4)
          PutBe32(p, static_cast<uint32_t>(value));
        else
          PutBe64(p, static_cast<uint64_t>(value));
      }
    }
  }
  return true;
}

void CollectStsc(const unsigned char* data, size_t begin, size_t end, std::vector<uint32_t>& counts) {
  Span box;
  for (size_t pos = begin; pos < end && NextBox(data, pos, end, box); pos = box.end) {
    if (IsContainer(box.type)) {
      CollectStsc(data, box.payload, box.end, counts);
    } else if (box.type == "stsc" && box.end - box.payload >= 8) {
      counts.push_back(Be32(data + box.payload + 4));
    }
  }
}

bool ReadBox(FileSource& in, const TopBox& box, std::string& out, std::string& error) {
  if (box.size > (uint64_t(1) << 30)) {
    error = box.type + " box too large to load";
    return false;
  }
  out.resize(static_cast<size_t>(box.size));
  if (!in.ReadExact(box.offset, out.data(), out.size())) {
    error = "cannot read the " + box.type + " box";
    return false;
  }
  return true;
}

// A new file that takes its name only when it is whole; never replaces one.
class OutFile {
 public:
  bool Create(const std::string& path, std::string& error) {
    if (!writer_.Open(path, SafeFileWriter::Existing::kRefuse)) {
      error = writer_.Error() == EEXIST ? path + " exists already; not overwritten"
                                        : Errno("cannot create", path, writer_.Error());
      return false;
    }
    return true;
  }
  bool Write(const void* data, size_t len, std::string& error) {
    if (writer_.Write(data, len)) return true;
    error = Errno("cannot write", writer_.Target(), writer_.Error());
    return false;
  }
  bool Copy(FileSource& in, uint64_t offset, uint64_t length, std::string& error) {
    std::string buf(1 << 20, '\0');
    while (length > 0) {
      size_t n = length < buf.size() ? static_cast<size_t>(length) : buf.size();
      if (!in.ReadExact(offset, buf.data(), n)) {
        error = "cannot read the encoder's output";
        return false;
      }
      if (!Write(buf.data(), n, error)) return false;
      offset += n;
      length -= n;
    }
    return true;
  }
  bool Close(std::string& error) {
    const std::string target = writer_.Target();
    if (writer_.Commit()) return true;
    error = writer_.Error() == EEXIST ? target + " exists already; not overwritten"
                                      : Errno("cannot write", target, writer_.Error());
    return false;
  }
  void Abandon() { writer_.Abandon(); }

 private:
  SafeFileWriter writer_;
};

}  // namespace

bool ListTopBoxes(const std::string& path, std::vector<TopBox>& boxes, std::string& error, bool stopAtNonBox) {
  boxes.clear();
  FileSource in;
  if (!in.Open(path)) {
    error = Errno("cannot open", path, in.LastError());
    return false;
  }
  const uint64_t size = in.Size();
  uint64_t pos = 0;
  while (pos < size) {
    unsigned char h[16];
    if (size - pos < 8 || !in.ReadExact(pos, h, 8)) {
      if (stopAtNonBox) return true;
      error = "truncated box header at " + std::to_string(pos);
      return false;
    }
    TopBox box;
    box.type.assign(reinterpret_cast<char*>(h + 4), 4);
    box.offset = pos;
    box.size = Be32(h);
    if (box.size == 1) {
      if (size - pos < 16 || !in.ReadExact(pos + 8, h + 8, 8)) {
        if (stopAtNonBox) return true;
        error = "truncated box header at " + std::to_string(pos);
        return false;
      }
      box.size = Be64(h + 8);
      box.headerSize = 16;
    } else if (box.size == 0) {
      box.size = size - pos;
    }
    if (box.size < box.headerSize || box.size > size - pos) {
      if (stopAtNonBox) return true;
      error = "box " + box.type + " runs past the end of the file";
      return false;
    }
    boxes.push_back(box);
    pos += box.size;
  }
  return true;
}

bool WriteRecorderLayout(const std::string& src, const std::string& dst, bool moovFirst, const std::string& tail,
                         std::string& error) {
  std::vector<TopBox> boxes;
  if (!ListTopBoxes(src, boxes, error)) return false;
  const TopBox *ftyp = nullptr, *mdat = nullptr, *moov = nullptr;
  for (const TopBox& b : boxes) {
    const TopBox** slot = b.type == "ftyp" ? &ftyp : b.type == "mdat" ? &mdat : b.type == "moov" ? &moov : nullptr;
    if (!slot) continue;
    if (*slot) {
      error = "more than one " + b.type + " box in " + src;
      return false;
    }
    *slot = &b;
  }
  if (!ftyp || !mdat || !moov) {
    error = "ftyp, mdat or moov missing in " + src;
    return false;
  }
  FileSource in;
  if (!in.Open(src)) {
    error = Errno("cannot open", src, in.LastError());
    return false;
  }
  std::string ftypData, moovData;
  if (!ReadBox(in, *ftyp, ftypData, error) || !ReadBox(in, *moov, moovData, error)) return false;

  const uint64_t newMdat = ftyp->size + (moovFirst ? moov->size : 0);
  const int64_t delta = static_cast<int64_t>(newMdat) - static_cast<int64_t>(mdat->offset);
  auto* m = reinterpret_cast<unsigned char*>(moovData.data());
  if (!PatchOffsets(m, moov->headerSize, moovData.size(), delta, error)) return false;

  OutFile out;
  if (!out.Create(dst, error)) return false;
  bool ok = out.Write(ftypData.data(), ftypData.size(), error);
  if (ok && moovFirst) ok = out.Write(moovData.data(), moovData.size(), error);
  if (ok) ok = out.Copy(in, mdat->offset, mdat->size, error);
  if (ok && !moovFirst) ok = out.Write(moovData.data(), moovData.size(), error);
  if (ok) ok = out.Write(tail.data(), tail.size(), error);
  if (ok) ok = out.Close(error);
  if (!ok) out.Abandon();
  return ok;
}

bool ReadStscEntryCounts(const std::string& path, std::vector<uint32_t>& counts, std::string& error) {
  counts.clear();
  std::vector<TopBox> boxes;
  if (!ListTopBoxes(path, boxes, error, true)) return false;
  FileSource in;
  if (!in.Open(path)) {
    error = Errno("cannot open", path, in.LastError());
    return false;
  }
  for (const TopBox& b : boxes) {
    if (b.type != "moov") continue;
    std::string data;
    if (!ReadBox(in, b, data, error)) return false;
    CollectStsc(reinterpret_cast<const unsigned char*>(data.data()), b.headerSize, data.size(), counts);
    return true;
  }
  error = "no moov box in " + path;
  return false;
}

bool WriteNewFile(const std::string& dst, const std::string& data, std::string& error) {
  OutFile out;
  if (!out.Create(dst, error)) return false;
  if (!out.Write(data.data(), data.size(), error) || !out.Close(error)) {
    out.Abandon();
    return false;
  }
  return true;
}

bool CopyPrefix(const std::string& src, const std::string& dst, uint64_t length, std::string& error) {
  FileSource in;
  if (!in.Open(src)) {
    error = Errno("cannot open", src, in.LastError());
    return false;
  }
  if (length > in.Size()) length = in.Size();
  OutFile out;
  if (!out.Create(dst, error)) return false;
  if (!out.Copy(in, 0, length, error) || !out.Close(error)) {
    out.Abandon();
    return false;
  }
  return true;
}

}  // namespace qv::rec
