#include "recording/mp4join.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "mp4testfiles.h"
#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/movieindex.h"

using namespace mp4test;

namespace {

// The recordings every test joins, made once.
struct Recordings {
  std::string dir;
  std::vector<std::string> front, rear;  // five consecutive pairs
  std::vector<std::string> fast;         // two moov-first fronts
  std::string videoOnly, otherScale, noBlock, toEnd;
  bool ok = false;
};

const Recordings& Inputs() {
  static Recordings r = [] {
    Recordings r;
    r.dir = NewFolder("mp4join_in");
    bool ok = !r.dir.empty();
    for (int i = 0; i < 5 && ok; ++i) {
      MovieSpec f;
      f.seconds = 0.5 + 0.1 * i;
      f.records = 5 + 2 * i;
      f.seed = i;
      std::string name = "/00" + qv::FormatInt(i) + "_120000NN_F.MP4";
      ok = ok && MakeMovie(r.dir + name, f);
      r.front.push_back(r.dir + name);
      MovieSpec b = f;
      b.audio = false;
      b.width = 96;
      b.height = 64;
      name[name.size() - 5] = 'R';
      ok = ok && MakeMovie(r.dir + name, b);
      r.rear.push_back(r.dir + name);
    }
    for (int i = 0; i < 2 && ok; ++i) {
      MovieSpec f;
      f.seconds = 0.4;
      f.faststart = true;
      f.records = 4;
      f.seed = i + 1;
      r.fast.push_back(r.dir + "/fast" + qv::FormatInt(i) + ".MP4");
      ok = ok && MakeMovie(r.fast.back(), f);
    }
    MovieSpec v;
    v.audio = false;
    v.seconds = 0.3;
    ok = ok && MakeMovie(r.videoOnly = r.dir + "/videoonly.MP4", v);
    MovieSpec s;
    s.seconds = 0.3;
    s.videoTimeScale = 1000000;
    ok = ok && MakeMovie(r.otherScale = r.dir + "/scale.MP4", s);
    MovieSpec n;
    n.seconds = 0.3;
    n.records = -1;
    ok = ok && MakeMovie(r.noBlock = r.dir + "/noblock.MP4", n);
    MovieSpec e;
    e.seconds = 0.3;
    e.records = 6;
    e.countToEnd = true;
    ok = ok && MakeMovie(r.toEnd = r.dir + "/toend.MP4", e);
    r.ok = ok;
    return r;
  }();
  return r;
}

class Mp4JoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Inputs().ok) << "ffmpeg could not make the test recordings";
    out_ = NewFolder("mp4join_out");
  }
  void TearDown() override { RunCommand("rm -rf '" + out_ + "'"); }

  std::string out_;
};

TEST_F(Mp4JoinTest, JoinsTwoThreeAndFivePairs) {
  const Recordings& in = Inputs();
  for (size_t n : {2, 3, 5}) {
    SCOPED_TRACE(n);
    std::string folder = out_ + "/" + qv::FormatInt(static_cast<int64_t>(n));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(in.front[0], in.rear[0]));
    for (size_t i = 1; i < n; ++i) ASSERT_TRUE(join.AppendMovie(in.front[i], in.rear[i]));
    EXPECT_EQ(join.rearOk, 1);
    // The joined files keep the first recording's names.
    std::string f = folder + "/000_120000NN_F.MP4", r = folder + "/000_120000NN_R.MP4";
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, f));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.rear, r));
    ExpectJoined(f, std::vector<std::string>(in.front.begin(), in.front.begin() + static_cast<long>(n)));
    ExpectJoined(r, std::vector<std::string>(in.rear.begin(), in.rear.begin() + static_cast<long>(n)));
  }
}

TEST_F(Mp4JoinTest, JoinsMoovFirstFilesAndMixedLayouts) {
  const Recordings& in = Inputs();
  {
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(in.fast[0], ""));
    EXPECT_EQ(join.rearOk, 0);
    ASSERT_TRUE(join.AppendMovie(in.fast[1], ""));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/fast.MP4"));
    ExpectJoined(out_ + "/fast.MP4", {in.fast[0], in.fast[1]});
  }
  {
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(in.fast[0], ""));
    ASSERT_TRUE(join.AppendMovie(in.front[1], ""));
    ASSERT_TRUE(join.AppendMovie(in.fast[1], ""));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/mixed.MP4"));
    ExpectJoined(out_ + "/mixed.MP4", {in.fast[0], in.front[1], in.fast[1]});
  }
}

TEST_F(Mp4JoinTest, MergedTablesFollowTheRules) {
  const Recordings& in = Inputs();
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(in.front[0])), b(qv::OpenMp4Movie(in.front[1]));
  ASSERT_TRUE(a && b);
  const qv::Mp4Track& va = a->tracks[0];
  ASSERT_EQ(std::string(va.handler), "vide");
  const uint32_t samplesA = qv::Be32(va.stsz->payload.data() + 8);
  const uint32_t chunksA = qv::Be32(va.stco->payload.data() + 4);
  const uint32_t syncA = qv::Be32(va.stss->payload.data() + 4);
  const qv::Mp4Track& sa = a->tracks[1];
  ASSERT_EQ(std::string(sa.handler), "soun");
  ASSERT_GT(qv::Be32(sa.stsc->payload.data() + 4), 1u);  // AAC: several stsc runs
  const uint32_t audioChunksA = qv::Be32(sa.stco->payload.data() + 4);
  const std::vector<uint8_t> stscB = b->tracks[1].stsc->payload;
  const std::vector<uint8_t> stssB = b->tracks[0].stss->payload;

  ASSERT_TRUE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  // Sync samples continue after the first movie's samples.
  const uint8_t* stss = va.stss->payload.data();
  EXPECT_EQ(qv::Be32(stss + 8 + 4 * syncA), qv::Be32(stssB.data() + 8) + samplesA);
  // The next movie's first chunks are raised by the first movie's chunk count.
  const uint8_t* stsc = sa.stsc->payload.data();
  uint32_t n = qv::Be32(stsc + 4);
  uint32_t nb = qv::Be32(stscB.data() + 4);
  EXPECT_EQ(qv::Be32(stsc + 8 + 12 * (n - 1)), qv::Be32(stscB.data() + 8 + 12 * (nb - 1)) + audioChunksA);
  EXPECT_EQ(qv::Be32(va.stco->payload.data() + 4), chunksA + qv::Be32(b->tracks[0].stco->payload.data() + 4));
}

TEST_F(Mp4JoinTest, RefusesToWriteOverAnInput) {
  const Recordings& in = Inputs();
  // Copies, so that a fault could not spoil the shared inputs.
  std::string first = out_ + "/first.MP4", second = out_ + "/second.MP4", link = out_ + "/link.MP4";
  ASSERT_TRUE(WriteAll(first, ReadAll(in.front[0])));
  ASSERT_TRUE(WriteAll(second, ReadAll(in.front[1])));
  ASSERT_EQ(symlink(first.c_str(), link.c_str()), 0);
  const std::string before1 = ReadAll(first), before2 = ReadAll(second);
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(first, ""));
  ASSERT_TRUE(join.AppendMovie(second, ""));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, first));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, second));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, link));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, out_));
  EXPECT_EQ(ReadAll(first), before1);
  EXPECT_EQ(ReadAll(second), before2);
  // Overwriting another file is allowed and replaces it whole.
  ASSERT_TRUE(WriteAll(out_ + "/old.MP4", std::string(10 << 20, 'x')));
  EXPECT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/old.MP4"));
  ExpectJoined(out_ + "/old.MP4", {first, second});
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

TEST_F(Mp4JoinTest, FailedWriteLeavesNoFile) {
  const Recordings& in = Inputs();
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(in.front[0], in.rear[0]));
  ASSERT_TRUE(join.AppendMovie(in.front[1], in.rear[1]));

  // The output folder is a file.
  ASSERT_TRUE(WriteAll(out_ + "/plain", "x"));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, out_ + "/plain/joined.MP4"));

  // The disk fills up part way (a file-size limit stands in for a full disk;
  // it holds for root too).
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool written = qv::WriteMp4Movie(*join.front, out_ + "/joined.MP4");
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Names(out_), std::vector<std::string>{"plain"});

  // The same movie still writes once there is room.
  EXPECT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/joined.MP4"));
  ExpectJoined(out_ + "/joined.MP4", {in.front[0], in.front[1]});
}

// The bytes of a movie's tree, to see that a refused append changed nothing.
class Capture : public qv::Mp4Output {
 public:
  std::string bytes;
  bool Write(const void* d, size_t n) override {
    bytes.append(static_cast<const char*>(d), n);
    return true;
  }
  bool Copy(qv::FileSource&, uint64_t offset, uint64_t len) override {
    // The range, not the bytes: what matters is which range would be copied.
    bytes.push_back('[');
    bytes.append(qv::FormatInt(static_cast<int64_t>(offset)));
    bytes.push_back('+');
    bytes.append(qv::FormatInt(static_cast<int64_t>(len)));
    bytes.push_back(']');
    return true;
  }
};

std::string Snapshot(const qv::sMP4MOVIE& m) {
  Capture c;
  qv::WriteBoxTree(m.root, c);
  return c.bytes + "|" + qv::FormatInt(m.blockCount) + "|" + std::string(m.records.begin(), m.records.end());
}

TEST_F(Mp4JoinTest, RefusedAppendsChangeNothing) {
  const Recordings& in = Inputs();
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(in.front[0], in.rear[0]));
  const std::string before = Snapshot(*join.front);
  // A different track set, another time scale, a file that is not a movie.
  EXPECT_FALSE(join.AppendMovie(in.videoOnly, in.rear[1]));
  EXPECT_FALSE(join.AppendMovie(in.otherScale, in.rear[1]));
  EXPECT_FALSE(join.AppendMovie(out_ + "/missing.MP4", in.rear[1]));
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*join.front, *join.front));
  EXPECT_EQ(Snapshot(*join.front), before);
  EXPECT_TRUE(join.frontAppended.empty());
  EXPECT_EQ(join.rearOk, 1);

  // More than 65534 records in all.
  std::string big = out_ + "/big.MP4";
  std::string bytes = ReadAll(in.noBlock);
  ASSERT_TRUE(WriteAll(big, bytes + DriveBlock(40000)));
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(big)), b(qv::OpenMp4Movie(big));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->blockCount, 40000u);
  const std::string beforeBig = Snapshot(*a);
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  EXPECT_EQ(Snapshot(*a), beforeBig);

  // On the rear side a failure drops the rear output only.
  ASSERT_TRUE(join.AppendMovie(in.front[1], in.videoOnly + ".missing"));
  EXPECT_EQ(join.rearOk, 0);
  ASSERT_TRUE(join.AppendMovie(in.front[2], in.rear[2]));
  EXPECT_TRUE(join.rearAppended.empty());
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/front.MP4"));
  ExpectJoined(out_ + "/front.MP4", {in.front[0], in.front[1], in.front[2]});
}

// A small movie: 100 bytes of media at offset 32, one track.
std::string Tiny(const std::string& trak, uint32_t duration = 1000) {
  return Ftyp() + Box("mdat", std::string(100, 'm')) + Box("moov", Mvhd(1000, duration) + trak);
}

std::string Video(const std::string& stsz = Stsz({10, 20}), uint32_t scale = 1000000,
                  const std::string& chunks = Be32(32) + Be32(42), const std::string& handler = "vide") {
  return Trak(handler, 8, 8, Stts({{2, 100}}), stsz, scale, chunks);
}

TEST_F(Mp4JoinTest, RefusesWhatItCannotJoinRight) {
  auto append = [&](const std::string& first, const std::string& next) {
    EXPECT_TRUE(WriteAll(out_ + "/a.MP4", first));
    EXPECT_TRUE(WriteAll(out_ + "/b.MP4", next));
    qv::Mp4MoviePtr a(qv::OpenMp4Movie(out_ + "/a.MP4")), b(qv::OpenMp4Movie(out_ + "/b.MP4"));
    if (!a || !b) return false;
    const std::string before = Snapshot(*a);
    bool ok = qv::sMP4MOVIE::AppendSamples(*a, *b);
    if (!ok) {
      EXPECT_EQ(Snapshot(*a), before);
    }
    return ok;
  };
  const std::string base = Tiny(Video());
  EXPECT_TRUE(append(base, base));
  // A video track without samples.
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({}), 1000000, ""))));
  // 64-bit chunk offsets.
  std::string co64 = base;
  co64.replace(co64.find("stco"), 4, "co64");
  EXPECT_FALSE(append(co64, base));
  EXPECT_FALSE(append(base, co64));
  // A 32-bit duration that would overflow.
  EXPECT_FALSE(append(Tiny(Video(), 0xF0000000u), Tiny(Video(), 0x20000000u)));
  // Another track set, another time scale, a chunk outside the media data.
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 1000000, Be32(32) + Be32(42), "soun"))));
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 90000))));
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 1000000, Be32(32) + Be32(500)))));
  // Sample sizes: fixed against variable fails, equal fixed sizes add up.
  const std::string fixed = std::string(4, '\0') + Be32(16) + Be32(2);
  EXPECT_FALSE(append(base, Tiny(Video(fixed))));
  EXPECT_FALSE(append(Tiny(Video(fixed)), Tiny(Video(std::string(4, '\0') + Be32(8) + Be32(2)))));
  ASSERT_TRUE(WriteAll(out_ + "/f.MP4", Tiny(Video(fixed))));
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(out_ + "/f.MP4")), b(qv::OpenMp4Movie(out_ + "/f.MP4"));
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  EXPECT_EQ(qv::Be32(a->tracks[0].stsz->payload.data() + 8), 4u);
  EXPECT_EQ(a->tracks[0].stsz->payload.size(), 12u);
  // Written: the second file's chunks follow the first's media.
  ASSERT_TRUE(qv::WriteMp4Movie(*a, out_ + "/joined.MP4"));
  qv::Mp4MoviePtr j(qv::OpenMp4Movie(out_ + "/joined.MP4"));
  ASSERT_TRUE(j);
  const uint8_t* stco = j->tracks[0].stco->payload.data();
  const uint64_t media = j->mdat[0]->offset;
  EXPECT_EQ(j->mdat[0]->size, 200u);
  EXPECT_EQ(qv::Be32(stco + 4), 4u);
  EXPECT_EQ(qv::Be32(stco + 8), media);
  EXPECT_EQ(qv::Be32(stco + 12), media + 10);
  EXPECT_EQ(qv::Be32(stco + 16), media + 100);
  EXPECT_EQ(qv::Be32(stco + 20), media + 110);
  EXPECT_EQ(j->duration, 2000u);
}

TEST_F(Mp4JoinTest, DriveDataBlockOfTheJoin) {
  const Recordings& in = Inputs();
  // No input with a block: none is written.
  {
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(in.noBlock, ""));
    ASSERT_TRUE(join.AppendMovie(in.noBlock, ""));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/none.MP4"));
    qv::Mp4MoviePtr m(qv::OpenMp4Movie(out_ + "/none.MP4"));
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->hasBlock);
    EXPECT_FALSE(qv::CheckFile(out_ + "/none.MP4"));
    std::string errors;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + out_ + "/none.MP4' -f null -", &errors), 0);
    EXPECT_EQ(errors, "");
  }
  // A first part without a block, then one counted "up to the end mark":
  // the merged block carries the real count and ends in the end mark.
  {
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(in.noBlock, ""));
    ASSERT_TRUE(join.AppendMovie(in.toEnd, ""));
    ASSERT_TRUE(join.AppendMovie(in.front[0], ""));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, out_ + "/some.MP4"));
    std::string bytes = ReadAll(out_ + "/some.MP4");
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "CSOEND");
    qv::Mp4MoviePtr m(qv::OpenMp4Movie(out_ + "/some.MP4"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->blockCount, 6u + 5u);
    EXPECT_EQ(m->blockOffset, bytes.size() - (11 * 91 + 49));
    EXPECT_EQ(m->records[0], '0');
    EXPECT_EQ(m->records[6 * 91], '0');
    EXPECT_EQ(m->records[7 * 91], '1');
  }
}

}  // namespace
