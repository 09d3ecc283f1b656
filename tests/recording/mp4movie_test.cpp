#include "recording/mp4movie.h"

#include <gtest/gtest.h>

#include "mp4testfiles.h"
#include "platform/numtext.h"
#include "recording/movieindex.h"
#include "recording/mp4join.h"

using namespace mp4test;

namespace {

TEST_F(Mp4Folder, ParsesTreeStopsAtDriveDataAndReadsTheBlock) {
  std::string moov = Box("moov", Mvhd(1000, 4321) + Trak("vide", 1920, 1080, Stts({{3, 33333}}), Stsz({1, 2, 3})));
  std::string bytes = Ftyp() + Box("mdat", "media bytes") + moov + DriveBlock(7);
  auto m = Open(bytes);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->root.children.size(), 3u);
  EXPECT_EQ(m->topEnd, bytes.size() - (7 * 91 + 49));
  EXPECT_TRUE(m->hasBlock);
  EXPECT_EQ(m->blockCount, 7u);
  EXPECT_EQ(m->blockOffset, m->topEnd);
  EXPECT_EQ(m->records.size(), 7u * 91);
  EXPECT_EQ(m->records[0], '0');
  EXPECT_EQ(std::string(m->tailMarker, 6), "CSOEND");
  EXPECT_EQ(m->duration, 4321u);
  // Containers hold no payload; leaves hold theirs; the media data stays in the file.
  const qv::sTAGNODE& mdat = m->root.children[1];
  EXPECT_TRUE(mdat.leaf);
  EXPECT_FALSE(mdat.loaded);
  const qv::sTAGNODE& mv = m->root.children[2];
  EXPECT_FALSE(mv.leaf);
  EXPECT_TRUE(mv.payload.empty());
  EXPECT_EQ(qv::BoxSize(mv), moov.size());
  ASSERT_EQ(m->stsz.size(), 1u);
  EXPECT_TRUE(m->stsz[0]->loaded);
  EXPECT_EQ(m->stsz[0]->level, 6);
  ASSERT_EQ(m->tracks.size(), 1u);
  EXPECT_EQ(std::string(m->tracks[0].handler), "vide");
  EXPECT_EQ(m->mvhd.size(), 1u);
  EXPECT_EQ(m->stsd.size(), 1u);

  // Writing the unchanged tree gives back the boxes byte for byte.
  MemoryOutput out;
  ASSERT_TRUE(qv::WriteBoxTree(m->root, out));
  EXPECT_EQ(out.bytes, bytes.substr(0, m->topEnd));
}

TEST_F(Mp4Folder, UnknownBoxInsideAContainerIsKeptVerbatim) {
  std::string moov = Box("moov", Mvhd(1000, 5) + Box("gps0", "recorder data") + Box("udta", Box("free", "x")));
  std::string bytes = Ftyp() + moov + Box("mdat", "");
  auto m = Open(bytes);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->root.children.size(), 3u);
  const qv::sTAGNODE& mv = m->root.children[1];
  ASSERT_EQ(mv.children.size(), 3u);
  EXPECT_TRUE(mv.children[1].leaf);
  EXPECT_EQ(std::string(mv.children[1].type), "gps0");
  MemoryOutput out;
  ASSERT_TRUE(qv::WriteBoxTree(m->root, out));
  EXPECT_EQ(out.bytes, bytes);
}

TEST_F(Mp4Folder, ContainerRuleAndSmallBoxes) {
  // A payload whose bytes 4-7 are a known type is a container; a box of
  // 12 bytes or less never is, nor one whose type differs in letter case
  // from a known one ("ICAT" is).
  std::string bytes = Ftyp() + Box("udta", Box("free", "")) + Box("skip", "abcd") +
                      Box("free", Be32(8) + "free" + Be32(0)) + Box("skip", Be32(12) + "icat" + "abcd") +
                      Box("mdat", "");
  auto m = Open(bytes);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->root.children.size(), 6u);
  EXPECT_TRUE(m->root.children[4].leaf);
  EXPECT_FALSE(m->root.children[1].leaf);
  EXPECT_EQ(m->root.children[1].children.size(), 1u);
  EXPECT_TRUE(m->root.children[2].leaf);
  EXPECT_EQ(m->root.children[2].payload.size(), 4u);
  // Children that leave 4 bytes over: the box is kept whole as a leaf.
  EXPECT_TRUE(m->root.children[3].leaf);
  EXPECT_TRUE(m->root.children[3].children.empty());
  EXPECT_EQ(m->root.children[3].payload.size(), 12u);
  MemoryOutput out;
  ASSERT_TRUE(qv::WriteBoxTree(m->root, out));
  EXPECT_EQ(out.bytes, bytes);
}

TEST_F(Mp4Folder, SizeZeroAndSizeOneAndBadSizes) {
  // Size 0 runs to the end of the parent; size 1 takes the 64-bit size.
  std::string big = Be32(1) + "free" + std::string(4, '\0') + Be32(20) + "abcd";
  auto m = Open(Ftyp() + big + Be32(0) + "mdat" + "rest of file");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->root.children.size(), 3u);
  EXPECT_EQ(m->root.children[1].size, 4u);
  EXPECT_EQ(m->root.children[1].offset, 24u + 16);
  EXPECT_EQ(m->root.children[2].size, 12u);

  // A box past the end of the file, a child past its parent, a size below
  // the header, a 64-bit size without room for it.
  EXPECT_FALSE(Open(Ftyp() + Be32(100) + "mdat" + "short"));
  EXPECT_FALSE(Open(Ftyp() + Box("moov", Be32(64) + "mvhd" + std::string(8, '\0'))));
  EXPECT_FALSE(Open(Ftyp() + Be32(4) + "free" + std::string(8, '\0')));
  EXPECT_FALSE(Open(Ftyp() + Box("moov", Be32(8) + "free" + Be32(1) + "free")));
  // Nothing but unknown bytes: an empty, valid list.
  auto junk = Open("not an mp4 file at all");
  ASSERT_TRUE(junk);
  EXPECT_TRUE(junk->root.children.empty());
  EXPECT_FALSE(junk->hasBlock);
  EXPECT_TRUE(Open(""));
}

TEST_F(Mp4Folder, LargeLeavesStayInTheFile) {
  // Five 15 MB leaves (a sparse file): four fit the 64 MB budget, the fifth
  // is left in the file and copied from there.
  const std::string path = dir_ + "/large.mp4";
  const uint64_t leaf = 15u << 20;
  std::vector<std::pair<uint64_t, std::string>> boxes = {{0, Ftyp()}};
  for (uint64_t i = 0; i < 5; ++i) boxes.push_back({24 + i * (leaf + 8), Be32(leaf + 8) + "skip"});
  ASSERT_TRUE(WriteSparse(path, 24 + 5 * (leaf + 8), boxes));
  qv::Mp4MoviePtr m(qv::OpenMp4Movie(path));
  ASSERT_TRUE(m);
  ASSERT_EQ(m->root.children.size(), 6u);
  int loaded = 0;
  for (const auto& c : m->root.children) loaded += c.loaded;
  EXPECT_EQ(loaded, 1 + 4);
  EXPECT_FALSE(m->root.children[5].loaded);
  MemoryOutput out(false);
  ASSERT_TRUE(qv::WriteBoxTree(m->root, out));
  EXPECT_NE(out.bytes.find("[" + qv::FormatInt(static_cast<int64_t>(24 + 4 * (leaf + 8) + 8)) + "+"),
            std::string::npos);
}

TEST_F(Mp4Folder, DeepNestingIsRefused) {
  std::string inner = Box("free", "");
  for (int i = 0; i < 1000; ++i) inner = Box("udta", inner);
  EXPECT_FALSE(Open(Ftyp() + inner));
  inner = Box("free", "");
  for (int i = 0; i < 20; ++i) inner = Box("udta", inner);
  EXPECT_TRUE(Open(Ftyp() + inner));
}

TEST_F(Mp4Folder, DurationsOfVersionOneBoxesAndMissingHeader) {
  std::string v1 = Full("mvhd", 1, std::string(16, '\0') + Be32(90000) + Be32(1) + Be32(2) + std::string(80, '\0'));
  auto m = Open(Ftyp() + Box("moov", v1));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->duration, (uint64_t{1} << 32) + 2);
  uint32_t scale = 0;
  EXPECT_TRUE(qv::ReadTimeScale(m->mvhd[0], scale));
  EXPECT_EQ(scale, 90000u);

  auto none = Open(Ftyp() + Box("moov", Box("free", "")));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->duration, 0u);
  auto shortHeader = Open(Ftyp() + Box("moov", Full("mvhd", 0, Be32(0) + Be32(0) + Be32(1000))));
  ASSERT_TRUE(shortHeader);
  EXPECT_EQ(shortHeader->duration, 0u);
}

TEST_F(Mp4Folder, DriveDataBlockForms) {
  // 1000 records ending at the end of the file: found from the tail alone.
  auto fast = Open(Ftyp() + Box("mdat", "x") + Box("moov", Mvhd(1000, 1)) + DriveBlock(1000));
  ASSERT_TRUE(fast);
  EXPECT_EQ(fast->blockCount, 1000u);
  EXPECT_EQ(fast->records.size(), 91000u);

  // 0xFFFF: the records up to the end mark.
  auto toEnd = Open(Ftyp() + Box("moov", Mvhd(1000, 1)) + DriveBlock(12, true));
  ASSERT_TRUE(toEnd);
  EXPECT_EQ(toEnd->blockCount, 12u);
  EXPECT_EQ(toEnd->records.size(), 12u * 91);

  // A count beyond the records present reads only those present, from where
  // the block was found.
  std::string block = DriveBlock(5);
  block[41] = 0x7f;
  auto over = Open(Ftyp() + Box("moov", Mvhd(1000, 1)) + block);
  ASSERT_TRUE(over);
  EXPECT_EQ(over->blockCount, 5u);
  EXPECT_EQ(std::string(over->records.begin(), over->records.begin() + 1), "0");

  // A block that does not end at the end of the file is still read where it is.
  auto trailing = Open(Ftyp() + Box("moov", Mvhd(1000, 1)) + DriveBlock(3) + "trailing");
  ASSERT_TRUE(trailing);
  EXPECT_EQ(trailing->blockCount, 3u);

  // A head cut short: no block.
  auto cut = Open(Ftyp() + "CSODAT" + std::string(10, ' '));
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->hasBlock);
}

// Every prefix and every size field of a real movie: the reader answers
// (null or a tree) without reading out of range, under the sanitizers.
TEST_F(Mp4Folder, HostileSizesAndTruncation) {
  const std::string path = Fixture("parking-R");
  ASSERT_FALSE(path.empty());
  const std::string bytes = ReadAll(path);
  ASSERT_GT(bytes.size(), 1000u);
  for (size_t len = 0; len < bytes.size(); len += 1 + len / 16) Open(bytes.substr(0, len));

  // Where the box headers are: walk the tree with our own reader.
  auto m = Open(bytes);
  ASSERT_TRUE(m);
  std::vector<uint64_t> headers;
  std::vector<const qv::sTAGNODE*> stack;
  for (const auto& c : m->root.children) stack.push_back(&c);
  while (!stack.empty()) {
    const qv::sTAGNODE* n = stack.back();
    stack.pop_back();
    headers.push_back(n->offset - 8);
    for (const auto& c : n->children) stack.push_back(&c);
  }
  ASSERT_GT(headers.size(), 30u);
  for (uint64_t at : headers) {
    uint32_t orig = qv::Be32(reinterpret_cast<const uint8_t*>(bytes.data() + at));
    for (uint32_t v : {0u, 1u, 2u, 7u, 8u, 9u, 15u, 16u, 0x7fffffffu, 0xffffffffu, orig - 1, orig + 1, orig + 8}) {
      std::string b = bytes;
      std::string s = Be32(v);
      b.replace(at, 4, s);
      auto mm = Open(b);
      if (mm) {
        qv::GetTrackDataSize(*mm, nullptr);
        qv::GetMovieFrameSize(*mm);
        qv::GetSampleRate(*mm);
        qv::ProbeFrameTiming(*mm);
        (void)qv::BoxSize(mm->root);
      }
    }
  }
}

}  // namespace
