#include "recording/mp4join.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "mp4testfiles.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "recording/checkfile.h"
#include "recording/movieindex.h"
#include "recording/nalunits.h"

using namespace mp4test;

namespace {

std::string Snapshot(const qv::sMP4MOVIE& m);
std::vector<std::string> Names(const std::string& dir);

// The fixture tool's recordings of one camera: run-1..4, then shock.
std::vector<std::string> Pairs(const std::string& camera, size_t n) {
  std::vector<std::string> v;
  for (const char* r : {"run-1-", "run-2-", "run-3-", "run-4-", "shock-"}) v.push_back(Fixture(r + camera));
  v.resize(n);
  return v;
}

class Mp4JoinTest : public Mp4Folder {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Fixture("run-1-F").empty()) << "no fixture recordings";
  }
};

// Two pairs of both cameras are joined below, where the outputs are checked
// against the inputs.
TEST_F(Mp4JoinTest, JoinsFivePairs) {
  const std::vector<std::string> front = Pairs("F", 5), rear = Pairs("R", 5);
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(front[0], rear[0]));
  EXPECT_EQ(qv::NalLengthSize(join.rear->tracks[0]), 4);  // the recorder's samples are checked
  for (size_t i = 1; i < 5; ++i) ASSERT_TRUE(join.AppendMovie(front[i], rear[i]));
  EXPECT_EQ(join.rearOk, 1);
  const std::string f = dir_ + "/001_091520AN_F.MP4", r = dir_ + "/001_091520AN_R.MP4";
  ASSERT_EQ(join.Write(f, r), qv::JoinFault::kNone);
  ExpectJoined(f, front);
  ExpectJoined(r, rear);
}

// Each input's box tree, drive data and NAL lengths take a few reads (a
// round trip each on a card behind a reader), not one per sample; an input
// that shrinks under the join (a card pulled out) fails it as a read error
// and changes nothing.
TEST_F(Mp4JoinTest, ReadsEachInputInAFewReads) {
  const std::vector<std::string> front = Pairs("F", 3), rear = Pairs("R", 3);
  const int64_t before = ReadCallsSoFar();
  if (before < 0) GTEST_SKIP() << "the kernel does not count reads";
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(front[0], rear[0]));
  for (size_t i = 1; i < 3; ++i) ASSERT_TRUE(join.AppendMovie(front[i], rear[i]));
  EXPECT_LE(ReadCallsSoFar() - before, 6 * 5);  // 10 s movies: five or fewer each

  const std::string cut = Put("cut_F.MP4", ReadAll(Pairs("F", 4)[3]));
  qv::sMULTIMOVIE shrunk;
  ASSERT_TRUE(shrunk.OpenPair(cut, ""));
  ASSERT_EQ(truncate(cut.c_str(), 200000), 0);
  const std::string whole = Snapshot(*shrunk.front);
  EXPECT_FALSE(shrunk.AppendMovie(front[1], ""));
  EXPECT_EQ(shrunk.fault, qv::JoinFault::kReadError);
  EXPECT_EQ(Snapshot(*shrunk.front), whole);
}

TEST_F(Mp4JoinTest, JoinsMoovFirstFilesAndMixedLayouts) {
  // moov-first, then the recorder's layout, then moov-first again; the rear
  // of the second recording is missing, which drops the rear output only.
  const std::string fast = Fixture("faststart-F"), plain = Fixture("front-only-F");
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(fast, Fixture("faststart-R")));
  ASSERT_TRUE(join.AppendMovie(plain, plain + ".missing-rear"));
  EXPECT_EQ(join.rearOk, 0);
  ASSERT_TRUE(join.AppendMovie(fast, Fixture("faststart-R")));
  EXPECT_TRUE(join.rearAppended.empty());
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/mixed.MP4"));
  ExpectJoined(dir_ + "/mixed.MP4", {fast, plain, fast});
  // A recording cut short cannot be appended.
  EXPECT_FALSE(join.AppendMovie(Fixture("truncated-F"), Fixture("truncated-R")));
}

// A card's recordings joined onto the disk cross file systems, where the
// kernel does not copy from file to file: each input byte is read once
// (the samples are checked in the bytes copied), and the output is the one
// the kernel's copy makes.
TEST_F(Mp4JoinTest, ReadsEachInputByteOnceThroughItsBuffer) {
  if (ReadBytesSoFar() < 0) GTEST_SKIP() << "the kernel does not count the bytes read";
  const std::vector<std::string> front = Pairs("F", 3);
  uint64_t inputs = 0;
  for (const std::string& f : front) inputs += ReadAll(f).size();
  auto join = [&](const std::string& out, bool kernel) {
    qv::SetKernelFileCopy(kernel);
    qv::sMULTIMOVIE j;
    const bool ok = j.OpenPair(front[0], "") && j.AppendMovie(front[1], "") && j.AppendMovie(front[2], "") &&
                    j.Write(out, "") == qv::JoinFault::kNone;
    qv::SetKernelFileCopy(true);
    return ok;
  };
  // Besides the media data, each movie's index and drive data, read as
  // opening the movie alone reads them.
  int64_t opening = ReadBytesSoFar();
  for (const std::string& f : front) qv::CloseMp4Movie(qv::OpenMp4Movie(f));
  opening = ReadBytesSoFar() - opening;
  const int64_t before = ReadBytesSoFar();
  ASSERT_TRUE(join(dir_ + "/buffered.MP4", false));
  EXPECT_LE(static_cast<uint64_t>(ReadBytesSoFar() - before - opening), inputs);
  ASSERT_TRUE(join(dir_ + "/kernel.MP4", true));
  EXPECT_TRUE(ReadAll(dir_ + "/buffered.MP4") == ReadAll(dir_ + "/kernel.MP4"));
}

// The file offset of the first video sample of a recording.
uint64_t FirstVideoSample(const std::string& path) {
  qv::Mp4MoviePtr m(qv::OpenMp4Movie(path));
  for (const qv::Mp4Track& t : m ? m->tracks : std::vector<qv::Mp4Track>{})
    if (std::memcmp(t.handler, "vide", 4) == 0) return qv::Be32(t.stco->payload.data() + 8);
  return 0;
}

// A sample damaged after its recording was appended (a card whose data
// changed under the join) is found in the bytes copied, on either way of
// copying, and leaves no output; a rear whose samples are damaged drops the
// rear output only, as it did when such samples were found while appending.
TEST_F(Mp4JoinTest, ChecksTheSamplesInTheBytesItCopies) {
  const std::vector<std::string> front = Pairs("F", 2), rear = Pairs("R", 2);
  const uint64_t sample = FirstVideoSample(front[1]);
  ASSERT_GT(sample, 0u);
  ASSERT_EQ(mkdir((dir_ + "/out").c_str(), 0755), 0);
  for (bool kernel : {true, false}) {
    SCOPED_TRACE(kernel ? "kernel copy" : "buffer");
    const std::string changing = Put("changing_F.MP4", ReadAll(front[1]));
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(front[0], rear[0]));
    ASSERT_TRUE(join.AppendMovie(changing, rear[1]));
    const int fd = open(changing.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "\xff\xff\xff\xff", 4, static_cast<off_t>(sample)), 4);
    close(fd);
    qv::SetKernelFileCopy(kernel);
    EXPECT_EQ(join.Write(dir_ + "/out/f.MP4", dir_ + "/out/r.MP4"), qv::JoinFault::kDamaged);
    qv::SetKernelFileCopy(true);
    EXPECT_EQ(Names(dir_ + "/out"), std::vector<std::string>{});
  }
  const std::string damaged = Put("damaged_R.MP4", ReadAll(rear[1]));
  const int fd = open(damaged.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "\0\0\0\0", 4, static_cast<off_t>(FirstVideoSample(damaged))), 4);
  close(fd);
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(front[0], rear[0]));
  ASSERT_TRUE(join.AppendMovie(front[1], damaged));
  EXPECT_EQ(join.Write(dir_ + "/out/f.MP4", dir_ + "/out/r.MP4"), qv::JoinFault::kNone);
  EXPECT_EQ(join.rearOk, 0);
  EXPECT_EQ(join.rearFault, qv::JoinFault::kDamaged);
  EXPECT_EQ(Names(dir_ + "/out"), std::vector<std::string>{"f.MP4"});
}

TEST_F(Mp4JoinTest, CopiesAcrossFileSystems) {
  // Inputs on a memory file system, output on disk: the kernel's file-to-file
  // copy refuses, and the writer copies through its own buffer.
  struct stat shm;
  if (stat("/dev/shm", &shm) != 0) GTEST_SKIP() << "no /dev/shm";
  char templ[] = "/dev/shm/qv_mp4join_XXXXXX";
  ASSERT_TRUE(mkdtemp(templ));
  const std::string src = templ;
  std::vector<std::string> parts;
  for (const std::string& f : Pairs("F", 2)) {
    parts.push_back(src + f.substr(f.find_last_of('/')));
    ASSERT_TRUE(WriteAll(parts.back(), ReadAll(f)));
  }
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(parts[0], ""));
  ASSERT_TRUE(join.AppendMovie(parts[1], ""));
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/joined.MP4"));
  ExpectJoined(dir_ + "/joined.MP4", parts);
  RunCommand("rm -rf '" + src + "'");
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
  const std::vector<std::string> front = Pairs("F", 2);
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(front[0], ""));
  ASSERT_TRUE(join.AppendMovie(front[1], ""));

  // The output folder is a file.
  ASSERT_TRUE(WriteAll(dir_ + "/plain", "x"));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, dir_ + "/plain/joined.MP4"));

  // The disk fills up part way (a file-size limit stands in for a full disk;
  // it holds for root too).
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  qv::JoinFault why;
  bool written = qv::WriteMp4Movie(*join.front, dir_ + "/joined.MP4", &why);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(why, qv::JoinFault::kTooLong);  // the file size FAT's 4 GiB limit gives too
  EXPECT_EQ(Names(dir_), std::vector<std::string>{"plain"});

  // The same movie still writes once there is room.
  EXPECT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/joined.MP4"));
  ExpectJoined(dir_ + "/joined.MP4", front);
}

std::string Snapshot(const qv::sMP4MOVIE& m) {
  MemoryOutput c(false);
  qv::WriteBoxTree(m.root, c);
  return c.bytes + "|" + qv::FormatInt(m.blockCount) + "|" + std::string(m.records.begin(), m.records.end());
}

TEST_F(Mp4JoinTest, RefusedAppendsChangeNothing) {
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(Fixture("run-1-F"), Fixture("run-1-R")));
  const std::string before = Snapshot(*join.front);
  // A different track set (no sound), a file that is not there, the movie itself.
  EXPECT_FALSE(join.AppendMovie(Fixture("timelapse-F"), Fixture("run-2-R")));
  EXPECT_FALSE(join.AppendMovie(dir_ + "/missing.MP4", Fixture("run-2-R")));
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*join.front, *join.front));
  // A movie is appended once, and never one that holds appended movies.
  qv::Mp4MoviePtr x(qv::OpenMp4Movie(Fixture("run-1-F"))), y(qv::OpenMp4Movie(Fixture("run-2-F"))),
      z(qv::OpenMp4Movie(Fixture("run-3-F")));
  ASSERT_TRUE(x && y && z);
  ASSERT_TRUE(qv::sMP4MOVIE::AppendSamples(*x, *y));
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*x, *y));
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*z, *x));
  EXPECT_EQ(Snapshot(*join.front), before);
  EXPECT_TRUE(join.frontAppended.empty());
  EXPECT_EQ(join.rearOk, 1);

  // More than 65534 records in all.
  std::string big = dir_ + "/big.MP4";
  ASSERT_TRUE(WriteAll(big, ReadAll(Fixture("no-block-F")) + DriveBlock(40000)));
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(big)), b(qv::OpenMp4Movie(big));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->blockCount, 40000u);
  const std::string beforeBig = Snapshot(*a);
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  EXPECT_EQ(Snapshot(*a), beforeBig);
}

// A small movie: 100 bytes of media at offset 32, one track.
std::string Tiny(const std::string& trak, uint32_t duration = 1000) {
  return Ftyp() + Box("mdat", std::string(100, 'm')) + Box("moov", Mvhd(1000, duration) + trak);
}

std::string Video(const std::string& stsz = Stsz({10, 20}), uint32_t scale = 1000000,
                  const std::string& chunks = Be32(32) + Be32(42), const std::string& handler = "vide") {
  return Trak(handler, 8, 8, Stts({{2, 100}}), stsz, scale, chunks);
}

// The same shape with H.264 samples: two samples of 10 and 20 bytes whose NAL
// units carry lengths of `size` bytes; `second` replaces the second sample.
std::string Coded(int size, std::string second = "") {
  if (second.empty()) second = NalUnit(size, 20 - size);
  std::string media = NalUnit(size, 1) + NalUnit(size, 9 - 2 * size) + second;
  media.resize(100, 'm');
  return Ftyp() + Box("mdat", media) +
         Box("moov", Mvhd(1000, 1000) + Trak("vide", 8, 8, Stts({{2, 100}}), Stsz({10, 20}), 1000000,
                                             Be32(32) + Be32(42), AvcC(size)));
}

TEST_F(Mp4JoinTest, RefusesWhatItCannotJoinRight) {
  qv::JoinFault why = qv::JoinFault::kNone;
  auto append = [&](const std::string& first, const std::string& next) {
    EXPECT_TRUE(WriteAll(dir_ + "/a.MP4", first));
    EXPECT_TRUE(WriteAll(dir_ + "/b.MP4", next));
    qv::Mp4MoviePtr a(qv::OpenMp4Movie(dir_ + "/a.MP4")), b(qv::OpenMp4Movie(dir_ + "/b.MP4"));
    if (!a || !b) return false;
    const std::string before = Snapshot(*a);
    bool ok = qv::sMP4MOVIE::AppendSamples(*a, *b, &why);
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
  EXPECT_EQ(why, qv::JoinFault::kTooLong);
  // Tables that contradict each other, in the first movie or the next:
  // durations of 0 or 0xFFFFFFFF, more durations than sizes, no chunks for
  // the samples, a chunk that runs past the media data, chunk runs that do
  // not rise.
  std::string falling = base;
  falling.replace(falling.find("stsc") + 12, 4, Be32(0xFFFFFFFFu));
  for (const std::string& bad :
       {Tiny(Trak("vide", 8, 8, Stts({{2, 0}}), Stsz({10, 20}), 1000000, Be32(32) + Be32(42))),
        Tiny(Trak("vide", 8, 8, Stts({{1, 100}, {1, 0xFFFFFFFFu}}), Stsz({10, 20}), 1000000, Be32(32) + Be32(42))),
        Tiny(Trak("vide", 8, 8, Stts({{3, 100}}), Stsz({10, 20}), 1000000, Be32(32) + Be32(42))),
        Tiny(Video(Stsz({10, 20}), 1000000, "")), Tiny(Video(Stsz({10, 20}), 1000000, Be32(32) + Be32(125))),
        falling}) {
    why = qv::JoinFault::kNone;
    EXPECT_FALSE(append(base, bad));
    EXPECT_EQ(why, qv::JoinFault::kDamaged);
    EXPECT_FALSE(append(bad, base));
    EXPECT_EQ(why, qv::JoinFault::kDamaged);
    ASSERT_TRUE(WriteAll(dir_ + "/bad.MP4", bad));
    qv::Mp4MoviePtr alone(qv::OpenMp4Movie(dir_ + "/bad.MP4"));
    ASSERT_TRUE(alone);
    EXPECT_FALSE(qv::WriteMp4Movie(*alone, dir_ + "/out.MP4", &why));
    EXPECT_EQ(why, qv::JoinFault::kDamaged);
  }
  // NAL units that run past their sample or leave a part of one, in the
  // first movie or the next: found in the bytes the writer copies, and
  // nothing is written.
  for (const std::string& bad : {Coded(4, NalUnit(4, 17, 16)), Coded(4, NalUnit(4, 12, 16))}) {
    for (const auto& [first, next] : {std::pair{bad, Coded(4)}, std::pair{Coded(4), bad}, std::pair{bad, std::string()}}) {
      SCOPED_TRACE(first == bad ? (next.empty() ? "alone" : "first") : "next");
      qv::Mp4MoviePtr a(qv::OpenMp4Movie(Put("a.MP4", first))), b;
      ASSERT_TRUE(a);
      if (!next.empty()) {
        b.reset(qv::OpenMp4Movie(Put("b.MP4", next)));
        ASSERT_TRUE(b && qv::sMP4MOVIE::AppendSamples(*a, *b));
      }
      EXPECT_FALSE(qv::WriteMp4Movie(*a, dir_ + "/out.MP4", &why));
      EXPECT_EQ(why, qv::JoinFault::kDamaged);
      EXPECT_FALSE(qv::PathExists(dir_ + "/out.MP4"));
    }
  }
  // Whole units join; units with lengths of another size do not.
  EXPECT_TRUE(append(Coded(4), Coded(4)));
  EXPECT_TRUE(append(Coded(1), Coded(1)));
  EXPECT_FALSE(append(Coded(4), Coded(2)));
  EXPECT_EQ(why, qv::JoinFault::kNotJoinable);
  // Another track set, another time scale, a chunk outside the media data.
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 1000000, Be32(32) + Be32(42), "soun"))));
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 90000))));
  EXPECT_FALSE(append(base, Tiny(Video(Stsz({10, 20}), 1000000, Be32(32) + Be32(500)))));
  // Sample sizes: fixed against variable fails, equal fixed sizes add up.
  const std::string fixed = std::string(4, '\0') + Be32(16) + Be32(2);
  EXPECT_FALSE(append(base, Tiny(Video(fixed))));
  EXPECT_FALSE(append(Tiny(Video(fixed)), Tiny(Video(std::string(4, '\0') + Be32(8) + Be32(2)))));
  ASSERT_TRUE(WriteAll(dir_ + "/f.MP4", Tiny(Video(fixed))));
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(dir_ + "/f.MP4")), b(qv::OpenMp4Movie(dir_ + "/f.MP4"));
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  EXPECT_EQ(qv::Be32(a->tracks[0].stsz->payload.data() + 8), 4u);
  EXPECT_EQ(a->tracks[0].stsz->payload.size(), 12u);
  // Written: the second file's chunks follow the first's media.
  ASSERT_TRUE(qv::WriteMp4Movie(*a, dir_ + "/joined.MP4"));
  qv::Mp4MoviePtr j(qv::OpenMp4Movie(dir_ + "/joined.MP4"));
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

TEST_F(Mp4JoinTest, JoinsReorderedFramesWithTheirOffsetsAndKeyFrames) {
  // B-frames ("ctts"), key frames that do not fall on the parts' seams, AAC
  // with its roll group ("sgpd", "sbgp"); parts of different lengths.
  std::vector<std::string> parts;
  for (const char* seconds : {"1.3", "0.7", "1"}) {
    std::string part = dir_ + "/part" + qv::FormatInt(static_cast<int64_t>(parts.size())) + ".MP4";
    std::string err;
    ASSERT_EQ(RunCommand(std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=96x64:rate=30 -f lavfi ") +
                             "-i sine=frequency=440:sample_rate=48000 -t " + seconds +
                             " -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p -c:a aac -ac 1 '" + part + "'",
                         &err),
              0)
        << err;
    ASSERT_TRUE(WriteAll(part, ReadAll(part) + DriveBlock(10)));
    parts.push_back(part);
  }
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(parts[0], ""));
  ASSERT_EQ(join.front->tracks.size(), 2u);
  ASSERT_TRUE(join.front->tracks[0].ctts && join.front->tracks[1].sbgp);
  for (size_t i = 1; i < parts.size(); ++i) ASSERT_TRUE(join.AppendMovie(parts[i], ""));
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/joined.MP4"));
  ExpectJoined(dir_ + "/joined.MP4", parts);
  // Every sound sample stays in its roll group.
  qv::Mp4MoviePtr j(qv::OpenMp4Movie(dir_ + "/joined.MP4"));
  ASSERT_TRUE(j && j->tracks.size() == 2 && j->tracks[1].sbgp);
  const std::vector<uint8_t>& g = j->tracks[1].sbgp->payload;
  ASSERT_GE(g.size(), 12u);
  uint64_t grouped = 0;
  for (size_t at = 12; at + 8 <= g.size(); at += 8)
    if (qv::Be32(g.data() + at + 4) != 0) grouped += qv::Be32(g.data() + at);
  EXPECT_EQ(grouped, qv::Be32(j->tracks[1].stsz->payload.data() + 8));
}

TEST_F(Mp4JoinTest, RefusesMediaPastThe32BitLimit) {
  // Sparse files: the media data is never read while appending.
  auto sparse = [&](const std::string& name, uint32_t media) {
    const std::string path = dir_ + "/" + name;
    const std::string head = Ftyp() + Be32(media + 8) + "mdat";
    const std::string moov = Box("moov", Mvhd(1000, 1000) + Video());
    EXPECT_TRUE(WriteSparse(path, head.size() + media + moov.size(), {{0, head}, {head.size() + media, moov}}));
    return path;
  };
  // Two halves that just fit the 32-bit "mdat" size, and two that do not.
  const uint32_t fits = (UINT32_MAX - 8) / 2, over = 0x90000000u;
  qv::Mp4MoviePtr a(qv::OpenMp4Movie(sparse("a.MP4", fits))), b(qv::OpenMp4Movie(sparse("b.MP4", fits)));
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(qv::sMP4MOVIE::AppendSamples(*a, *b));
  qv::Mp4MoviePtr c(qv::OpenMp4Movie(sparse("c.MP4", over))), d(qv::OpenMp4Movie(sparse("d.MP4", over)));
  ASSERT_TRUE(c && d);
  const std::string before = Snapshot(*c);
  EXPECT_FALSE(qv::sMP4MOVIE::AppendSamples(*c, *d));
  EXPECT_EQ(Snapshot(*c), before);
}

TEST_F(Mp4JoinTest, DriveDataBlockOfTheJoin) {
  const std::string none = Fixture("no-block-F");
  {
    // No input with a block: none is written.
    qv::sMULTIMOVIE join;
    ASSERT_TRUE(join.OpenPair(none, ""));
    ASSERT_TRUE(join.AppendMovie(none, ""));
    ASSERT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/none.MP4"));
    qv::Mp4MoviePtr m(qv::OpenMp4Movie(dir_ + "/none.MP4"));
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->hasBlock);
    EXPECT_EQ(m->topEnd, m->fileSize);
  }
  // A first part without a block, then one counted "up to the end mark":
  // the merged block carries the real count and ends in the end mark.
  std::string toEnd = ReadAll(Fixture("parking-F"));
  const uint64_t records = static_cast<uint64_t>(FixtureFact("parking-F", "records"));
  toEnd[toEnd.size() - (records * 91 + 49) + 41] = '\xff';
  toEnd[toEnd.size() - (records * 91 + 49) + 42] = '\xff';
  ASSERT_TRUE(WriteAll(dir_ + "/toend.MP4", toEnd));
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(none, ""));
  ASSERT_TRUE(join.AppendMovie(dir_ + "/toend.MP4", ""));
  ASSERT_TRUE(join.AppendMovie(Fixture("run-1-F"), ""));
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/some.MP4"));
  ExpectJoined(dir_ + "/some.MP4", {none, dir_ + "/toend.MP4", Fixture("run-1-F")});
  qv::Mp4MoviePtr m(qv::OpenMp4Movie(dir_ + "/some.MP4"));
  ASSERT_TRUE(m);
  const uint64_t total = records + static_cast<uint64_t>(FixtureFact("run-1-F", "records"));
  EXPECT_EQ(m->blockOffset, m->fileSize - (total * 91 + 49));
  const std::string tail = ReadAll(Fixture("run-1-F"));
  EXPECT_EQ(std::string(m->records.end() - 91, m->records.end()), tail.substr(tail.size() - 97, 91));
}

}  // namespace

// The sound ffmpeg plays from a file: each played packet's md5 in order, and
// where the sound and the picture end.
struct Played {
  std::vector<std::string> sound;
  double soundEnd = 0, pictureEnd = 0;
};

Played Play(const std::string& path) {
  Played p;
  for (const char* stream : {"a", "v"}) {
    std::string out;
    EXPECT_EQ(RunCommand(std::string("ffprobe -v error -select_streams ") + stream +
                             " -show_entries packet=pts_time,duration_time,flags,data_hash -show_data_hash MD5 "
                             "-of csv=p=0 '" + path + "'",
                         &out),
              0);
    // pts,duration,flags,hash; side data may push the hash to a line of its own.
    bool discarded = true;
    for (size_t at = 0, nl; at < out.size(); at = nl + 1) {
      nl = out.find('\n', at);
      if (nl == std::string::npos) nl = out.size();
      const std::string line = out.substr(at, nl - at);
      const size_t c1 = line.find(','), c2 = line.find(',', c1 + 1), hash = line.find("MD5:");
      double pts, duration;
      if (line[0] != ',' && c2 != std::string::npos && qv::ParseDouble(line.substr(0, c1), pts) &&
          qv::ParseDouble(line.substr(c1 + 1, c2 - c1 - 1), duration)) {
        discarded = line.find('D', c2) < hash;
        if (!discarded) (*stream == 'a' ? p.soundEnd : p.pictureEnd) = std::max(pts + duration, 0.0);
      }
      if (*stream == 'a' && !discarded && hash != std::string::npos) p.sound.push_back(line.substr(hash));
    }
  }
  return p;
}

TEST_F(Mp4JoinTest, SoundStaysWithThePictureAcrossTenParts) {
  // Every AAC part begins with 1024 priming samples that its edit skips; the
  // joined file must skip each part's, not play them and lose the end.  (The
  // tables of such a join are checked against its parts above.)
  std::vector<std::string> parts;
  Played expected;
  for (int i = 0; i < 10; ++i) {
    parts.push_back(dir_ + "/p" + qv::FormatInt(i) + ".MP4");
    std::string err;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=64x48:rate=30 -f lavfi -i "
                         "sine=frequency=" + qv::FormatInt(300 + 50 * i) + ":sample_rate=48000 -t 0.5 -c:v libx264 "
                         "-bf 0 -g 15 -pix_fmt yuv420p -c:a aac -ac 1 '" + parts.back() + "'",
                         &err),
              0)
        << err;
    ASSERT_TRUE(WriteAll(parts.back(), ReadAll(parts.back()) + DriveBlock(5)));
    Played part = Play(parts.back());
    expected.sound.insert(expected.sound.end(), part.sound.begin(), part.sound.end());
  }
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(parts[0], ""));
  for (size_t i = 1; i < parts.size(); ++i) ASSERT_TRUE(join.AppendMovie(parts[i], ""));
  ASSERT_EQ(join.Write(dir_ + "/joined.MP4", ""), qv::JoinFault::kNone);
  const Played joined = Play(dir_ + "/joined.MP4");
  EXPECT_EQ(joined.sound, expected.sound);
  EXPECT_NEAR(joined.soundEnd, joined.pictureEnd, 1024.0 / 48000);
  EXPECT_NEAR(joined.pictureEnd, 5.0, 0.001);
}

TEST_F(Mp4JoinTest, NoOutputReplacesAnInputOfEitherCamera) {
  // Copies, so that a fault could not spoil the shared inputs.
  std::vector<std::string> f, r;
  for (int i = 0; i < 2; ++i) {
    f.push_back(Put("00" + qv::FormatInt(i) + "_080000AN_F.MP4", ReadAll(Pairs("F", 2)[i])));
    r.push_back(Put("00" + qv::FormatInt(i) + "_080000AN_R.MP4", ReadAll(Pairs("R", 2)[i])));
  }
  const std::string link = dir_ + "/link.MP4";
  ASSERT_EQ(symlink(f[0].c_str(), link.c_str()), 0);
  std::vector<std::string> before;
  for (const std::string& p : f) before.push_back(ReadAll(p));
  for (const std::string& p : r) before.push_back(ReadAll(p));
  ASSERT_EQ(mkdir((dir_ + "/out").c_str(), 0755), 0);
  const std::string outF = dir_ + "/out/f.MP4", outR = dir_ + "/out/r.MP4";
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(f[0], r[0]));
  ASSERT_TRUE(join.AppendMovie(f[1], r[1]));
  // Either camera's inputs, a link to one, a name that differs only in
  // letter case, and one output for both cameras; nothing is written then.
  for (auto [front, rear] : {std::pair{f[1], outR}, std::pair{r[1], outR}, std::pair{outF, f[0]}, std::pair{outF, r[0]},
                             std::pair{link, outR}, std::pair{dir_ + "/001_080000an_r.mp4", outR},
                             std::pair{outF, dir_ + "/000_080000an_f.MP4"}, std::pair{outF, dir_ + "/out/F.mp4"}}) {
    SCOPED_TRACE(front + " " + rear);
    EXPECT_EQ(join.Write(front, rear), qv::JoinFault::kOutputIsInput);
  }
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, dir_ + "/001_080000AN_f.MP4"));
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, dir_));  // a folder
  EXPECT_EQ(Names(dir_ + "/out"), std::vector<std::string>{});
  std::vector<std::string> after;
  for (const std::string& p : f) after.push_back(ReadAll(p));
  for (const std::string& p : r) after.push_back(ReadAll(p));
  EXPECT_TRUE(after == before);
  ASSERT_EQ(join.Write(outF, outR), qv::JoinFault::kNone);
  ExpectJoined(outF, f);
  ExpectJoined(outR, r);

  // Overwriting another file is allowed and replaces it whole; it keeps its
  // permissions.  A new file gets those the umask allows.
  ASSERT_TRUE(WriteAll(dir_ + "/old.MP4", std::string(10 << 20, 'x')));
  ASSERT_EQ(chmod((dir_ + "/old.MP4").c_str(), 0604), 0);
  EXPECT_TRUE(qv::WriteMp4Movie(*join.front, dir_ + "/old.MP4"));
  EXPECT_TRUE(ReadAll(dir_ + "/old.MP4") == ReadAll(outF));
  const mode_t oldMask = umask(077);
  const bool written = qv::WriteMp4Movie(*join.front, dir_ + "/new.MP4");
  umask(oldMask);
  EXPECT_TRUE(written);
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/old.MP4").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(stat((dir_ + "/new.MP4").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // The reasons of other failures.
  qv::JoinFault why;
  EXPECT_FALSE(qv::WriteMp4Movie(*join.front, dir_ + "/missing/x.MP4", &why));
  EXPECT_EQ(why, qv::JoinFault::kWriteFailed);
  EXPECT_FALSE(join.AppendMovie(dir_ + "/missing.MP4", ""));
  EXPECT_EQ(join.fault, qv::JoinFault::kCannotOpen);
  EXPECT_FALSE(join.AppendMovie(Fixture("timelapse-F"), ""));
  EXPECT_EQ(join.fault, qv::JoinFault::kNotJoinable);
}

TEST_F(Mp4JoinTest, AnOutputFolderSpelledInAnotherCaseIsTheInputsFolder) {
  // A card's file system takes "casef-x" for "CASEF-x" but gives each
  // spelling its own inode.  Planted here as two folders on a disk that keeps
  // case apart: the same rule refuses them, and the inputs stay as they were.
  const std::string inputs = dir_ + "/CASEF-x", other = dir_ + "/casef-x";
  ASSERT_EQ(mkdir(inputs.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
  std::vector<std::string> f, r;
  for (int i = 0; i < 2; ++i) {
    f.push_back(Put("CASEF-x/00" + qv::FormatInt(i + 1) + "_080000AN_F.MP4", ReadAll(Pairs("F", 2)[i])));
    r.push_back(Put("CASEF-x/00" + qv::FormatInt(i + 1) + "_080000AN_R.MP4", ReadAll(Pairs("R", 2)[i])));
  }
  const std::string before = ReadAll(f[0]) + ReadAll(r[0]);
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(f[0], r[0]));
  ASSERT_TRUE(join.AppendMovie(f[1], r[1]));
  for (const auto& [front, rear] : {std::pair{other + "/001_080000AN_F.MP4", other + "/001_080000AN_R.MP4"},
                                    std::pair{other + "/joined_F.MP4", other + "/002_080000an_r.mp4"}}) {
    SCOPED_TRACE(front + " " + rear);
    EXPECT_EQ(join.Write(front, rear), qv::JoinFault::kOutputIsInput);
  }
  EXPECT_EQ(ReadAll(f[0]) + ReadAll(r[0]), before);
  EXPECT_EQ(Names(other), std::vector<std::string>{});
  EXPECT_TRUE(qv::SameFileIgnoringCase(other + "/001_080000an_f.mp4", f[0]));
  EXPECT_FALSE(qv::SameFileIgnoringCase(other + "/001_080000AN_R.MP4", f[0]));
  EXPECT_FALSE(qv::SameFileIgnoringCase(dir_ + "/casef-y/001_080000AN_F.MP4", f[0]));
}

TEST_F(Mp4JoinTest, AKilledJoinLeavesNoFileOnceTheNextHasRun) {
  // Kills at several moments of a join of five recordings (QV_JOIN_KILLS
  // sets how many); whatever a killed join left, the next join into the
  // folder leaves only its own output.
  int64_t kills = 3;
  if (const char* n = std::getenv("QV_JOIN_KILLS")) qv::ParseInt64(n, kills);
  const std::vector<std::string> front = Pairs("F", 5);
  auto join = [&] {
    qv::sMULTIMOVIE j;
    bool ok = j.OpenPair(front[0], "");
    for (size_t i = 1; ok && i < front.size(); ++i) ok = j.AppendMovie(front[i], "");
    return ok && j.Write(dir_ + "/joined.MP4", "") == qv::JoinFault::kNone;
  };
  for (int64_t k = 0; k < kills; ++k) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(join() ? 0 : 1);
    usleep(static_cast<useconds_t>(k * 7919 % 40000));
    kill(child, SIGKILL);
    int status;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(join());
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"joined.MP4"}) << "after kill " << k;
  }
}
