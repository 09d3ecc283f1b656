// Fuzzes the MP4 reader, the index helpers and the merge on arbitrary bytes.
// A movie the join writes must pass the join's own input checks: the join
// never writes tables it would refuse to read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "recording/movieindex.h"
#include "recording/mp4join.h"
#include "testsupport.h"

namespace {

// Reads every range the writer would copy, to catch ranges outside the file.
class NullOutput : public qv::Mp4Output {
 public:
  bool Write(const void*, size_t) override { return true; }
  bool Copy(qv::FileSource& src, uint64_t offset, uint64_t len) override {
    char buf[4096];
    while (len > 0) {
      size_t n = len < sizeof buf ? static_cast<size_t>(len) : sizeof buf;
      if (!src.ReadExact(offset, buf, n)) return false;
      offset += n;
      len -= n;
    }
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("mp4_fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;

  qv::Mp4MoviePtr a(qv::OpenMp4Movie(path));
  if (!a) return 0;
  qv::GetTrackDataSize(*a, nullptr);
  qv::GetMovieFrameSize(*a);
  qv::GetMovieSampleCount(*a);
  qv::GetSampleRate(*a);
  qv::ProbeFrameTiming(*a);
  // Appended movies stay open while the first one is written.
  qv::Mp4MoviePtr b(qv::OpenMp4Movie(path)), c;
  if (b && qv::sMP4MOVIE::AppendSamples(*a, *b)) {
    c.reset(qv::OpenMp4Movie(path));
    if (c) qv::sMP4MOVIE::AppendSamples(*a, *c);
  }
  NullOutput out;
  qv::WriteBoxTree(a->root, out);

  // Written on a memory file system where there is one (the writer syncs).
  const std::string& folder = qvtest::ProcessFolder(true);
  const std::string joined = folder + "/joined.mp4";
  qv::JoinFault why;
  if (!qv::WriteMp4Movie(*a, joined, &why)) return 0;
  qv::Mp4MoviePtr j(qv::OpenMp4Movie(joined));
  if (!j) {
    std::fprintf(stderr, "the joined movie cannot be read back\n");
    std::abort();
  }
  const std::string again = folder + "/again.mp4";
  if (!qv::WriteMp4Movie(*j, again, &why) && (why == qv::JoinFault::kDamaged || why == qv::JoinFault::kNotJoinable)) {
    std::fprintf(stderr, "the joined movie is refused: reason %d\n", static_cast<int>(why));
    std::abort();
  }
  unlink(again.c_str());
  unlink(joined.c_str());
  return 0;
}
