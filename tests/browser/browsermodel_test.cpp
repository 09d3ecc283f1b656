#include "browser/browsermodel.h"

#include <gtest/gtest.h>

#include <set>

namespace qv {
namespace {

RecordingEntry Pair(uint64_t front, uint64_t rear, const std::string& name = "001_100000AN_F.MP4") {
  RecordingEntry e;
  e.frontName = name;
  e.frontPath = "/c/" + name;
  e.frontSize = front;
  e.rearSize = rear;
  return e;
}

TEST(BrowserModel, PanelPlacesAtScaleOne) {
  const FilerPlaces side = LayoutFiler(0, Size{452, 634}, 1.0f, 13);
  EXPECT_EQ(side.tree, Rect::FromSize(4, 26, 213, 634 - 12 - 18));
  EXPECT_EQ(side.list, Rect::FromSize(220, 26, 228, 634 - 12 - 18));
  EXPECT_EQ(side.buttons[0], Rect::FromSize(7, 8, 12, 12));
  EXPECT_EQ(side.captions[4], Rect::FromSize(15 + 257 + 5, 5, 80, 16));
  EXPECT_EQ(ItemCountRect(0, Size{452, 634}, 1.0f, 13), Rect(387, 5, 447, 25));

  // Stacked: the fourth and fifth buttons form a second row under the first two.
  const FilerPlaces stacked = LayoutFiler(1, Size{227, 634}, 1.0f, 13);
  EXPECT_EQ(stacked.tree, Rect::FromSize(4, 24, 219, 284));
  EXPECT_EQ(stacked.list, Rect::FromSize(4, 356, 219, 634 - 300 - 12 - 8 - 40));
  EXPECT_EQ(stacked.buttons[0], Rect::FromSize(5, 312, 12, 12));
  EXPECT_EQ(stacked.buttons[3], stacked.buttons[0].Offsetted(0, 14));
  EXPECT_EQ(stacked.buttons[4], stacked.buttons[1].Offsetted(0, 14));
  EXPECT_TRUE(LayoutFiler(2, Size{227, 634}, 1.0f, 13).tree.IsEmpty());
}

TEST(BrowserModel, InitialSourceDecision) {
  std::set<std::string> present = {"/media/E", "/media/F", "/v", "/v/001_100000AN_F.MP4", "/v/notes.mp4"};
  auto exists = [&](const std::string& p) { return present.count(p) > 0; };
  SourceChoice c = DecideInitialSource({"/media/E", "/media/F"}, "/v", "", exists);
  EXPECT_EQ(c.path, "/media/F");
  EXPECT_EQ(c.mode, SourceMode::kDrive);
  c = DecideInitialSource({"/media/G"}, "/v", "", exists);
  EXPECT_EQ(c.mode, SourceMode::kFolder);
  c = DecideInitialSource({}, "/gone", "/v/001_100000AN_F.MP4", exists);
  EXPECT_EQ(c.mode, SourceMode::kFile);
  EXPECT_EQ(DecideInitialSource({}, "", "/v/notes.mp4", exists).mode, SourceMode::kNone);
}

TEST(BrowserModel, RowColoursTextAndBadgeLayers) {
  EXPECT_EQ(ListRowColors(true, U'G').fill, 0x8EB2B2u);
  EXPECT_EQ(ListRowColors(true, U'A').fill, 0xB2B2B2u);
  EXPECT_EQ(ListRowColors(false, U'S').fill, 0xCCFFFFu);
  EXPECT_EQ(ListRowColors(false, U'S').text, 0x000000u);
  EXPECT_EQ(ListRowColors(false, U'M').text, 0xFFFFFFu);
  RecordingEntry rearOnly;
  rearOnly.rearName = "004_120000GN_R.MP4";
  EXPECT_EQ(ListRowText(rearOnly), "004_120000GN");
  EXPECT_EQ(ListRowTrigger(rearOnly), U'G');
  EXPECT_EQ(BadgeLayers(0x01), std::vector<int>{319});
  EXPECT_EQ(BadgeLayers(0x1F), (std::vector<int>{319, 316, 315, 317, 318}));
}

TEST(BrowserModel, JoinTicksStayOneBlock) {
  FileSelectModel m;
  m.SetMode(FileSelectModel::kJoin);
  m.SetRows(std::vector<RecordingEntry>(8, Pair(1 << 20, 1 << 20)));
  m.Tick(2, true);
  m.Tick(3, true);
  m.Tick(6, true);  // fills the gap
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m.Ticked(i), i >= 2 && i <= 6) << i;
  m.Tick(4, false);  // cuts the block there
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m.Ticked(i), i == 2 || i == 3) << i;
  m.Tick(0, true);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m.Ticked(i), i <= 3) << i;
  const FileSelectModel::Totals t = m.ComputeTotals();
  EXPECT_EQ(t.frontCount, 4);
  EXPECT_EQ(t.frontBytes, 4u << 20);
  EXPECT_TRUE(t.okEnabled);
}

TEST(BrowserModel, TotalsLimitsAndDamagedRows) {
  FileSelectModel join;
  join.SetMode(FileSelectModel::kJoin);
  join.SetRows({Pair(600u << 20, 1), Pair(425u << 20, 1)});
  join.TickAll();
  FileSelectModel::Totals t = join.ComputeTotals();
  EXPECT_TRUE(t.frontOver);  // 1025 MB
  EXPECT_FALSE(t.rearOver);
  join.SetRows(std::vector<RecordingEntry>(101, Pair(1, 0)));
  join.TickAll();
  t = join.ComputeTotals();
  EXPECT_TRUE(t.frontTooMany);
  EXPECT_FALSE(t.rearTooMany);

  // Delete: a recording without a readable index (sizes 0) may be deleted;
  // folder rows never enter a sum.
  FileSelectModel del;
  del.SetRows({Pair(0, 0), Pair(~uint64_t{0}, ~uint64_t{0}), Pair(3u << 20, 0)});
  EXPECT_FALSE(del.ComputeTotals().okEnabled);
  del.Tick(0, true);
  EXPECT_TRUE(del.ComputeTotals().okEnabled);
  del.Tick(1, true);
  del.Tick(2, true);
  EXPECT_EQ(del.ComputeTotals().frontBytes, 3u << 20);
  EXPECT_EQ(del.TickedRows().size(), 3u);
}

}  // namespace
}  // namespace qv
