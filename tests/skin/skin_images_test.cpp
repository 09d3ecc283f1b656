// The skin images: every manifest entry renders at its size, every id the
// code asks for is listed, and the image holder loads its table.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <set>

#include "skin/resourceimage.h"
#include "skin/skinids.h"
#include "eventwait.h"

using namespace qv;

using qvtest::App;

TEST(SkinManifest, ParsesAndRejects) {
  std::string error;
  auto ok = ParseSkinManifest("# c\n148\tbitmap\t128\t32\t24\t4\tblack\tsvg/148.svg\tplay\n", &error);
  ASSERT_EQ(ok.size(), 1u) << error;
  EXPECT_EQ(ok[0].cells, 4);
  EXPECT_TRUE(ParseSkinManifest("148\tbitmap\t128\t32\n", &error).empty());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(ParseSkinManifest("148\tbitmap\t127\t32\t24\t4\tblack\ts\tr\n", &error).empty());
  EXPECT_TRUE(ParseSkinManifest("1\tpng\t1\t1\t32\t1\talpha\ts\tr\n1\tpng\t1\t1\t32\t1\talpha\ts\tr\n", &error).empty());
}

// Every image renders at its size, something painted; strips show four
// different cells.
TEST(SkinManifest, EveryImageRendersAtItsSize) {
  App();
  const auto& manifest = SkinManifest();
  ASSERT_GT(manifest.size(), 100u);
  for (const auto& info : manifest) {
    const QImage image = SkinImage(info.id);
    ASSERT_FALSE(image.isNull()) << info.id;
    EXPECT_EQ(image.size(), QSize(info.width, info.height)) << info.id;
    bool painted = false;
    for (int y = 0; y < image.height() && !painted; ++y)
      for (int x = 0; x < image.width() && !painted; ++x) painted = qAlpha(image.pixel(x, y)) != 0;
    EXPECT_TRUE(painted) << info.id;
    std::set<QByteArray> cells;
    for (int i = 0; info.cells == 4 && i < 4; ++i) {
      const QImage cell = SkinCell(image, 4, i).convertToFormat(QImage::Format_ARGB32);
      cells.insert(QByteArray(reinterpret_cast<const char*>(cell.constBits()), cell.sizeInBytes()));
    }
    EXPECT_EQ(cells.size(), info.cells == 4 ? 4u : 0u) << info.id;
  }
}

TEST(SkinManifest, EveryIdTheCodeAsksForIsListed) {
  App();
  for (int id : AllSkinIds()) EXPECT_NE(FindSkinImage(id), nullptr) << id;
  // Literal ids handed to the loaders anywhere in the sources.
  const QRegularExpression call(
      R"((?:SkinImage|ScaledSkinImage|KeyedImage|LoadSkin|LoadImages|LoadScaledBitmap|Image)\(\s*(\d{3})\b)");
  QDirIterator it(QStringLiteral(QV_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                  QDirIterator::Subdirectories);
  int seen = 0;
  while (it.hasNext()) {
    QFile f(it.next());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (auto m = call.globalMatch(text); m.hasNext();) {
      const int id = m.next().captured(1).toInt();
      ++seen;
      EXPECT_NE(FindSkinImage(id), nullptr) << id << " in " << f.fileName().toStdString();
    }
  }
  GTEST_LOG_(INFO) << seen << " literal ids in the sources";
}

TEST(SkinManifest, ScaledSizesKeepCellsSquare) {
  EXPECT_EQ(ScaledSkinSize(184, 18, 1.25f), QSize(230, 22));
  EXPECT_TRUE(ScaledSkinSize(10, 0, 1.0f).isEmpty());
  App();
  const QImage big = ScaledSkinImage(kSkinPlay, 1.5f);
  EXPECT_EQ(big.size(), QSize(192, 48));
}

TEST(SkinManifest, KeyedCopyFillsTheKey) {
  App();
  const QImage keyed = KeyedImage(kSkinCheck);  // black key
  ASSERT_FALSE(keyed.isNull());
  EXPECT_FALSE(keyed.hasAlphaChannel());
  const QImage face = KeyedImage(320);  // white key: the corner is outside the dial
  EXPECT_EQ(QColor(face.pixel(0, 150)), QColor(255, 255, 255));
  const QImage mask = SkinImage(313);
  for (int y = 0; y < mask.height(); ++y)
    for (int x = 0; x < mask.width(); ++x) {
      const QRgb p = mask.pixel(x, y);
      ASSERT_TRUE(qRed(p) == 0 || qRed(p) == 255) << x << "," << y;
    }
}

TEST(ResourceImage, LoadsTheTable) {
  App();
  CResourceImage images;
  images.Load(1.5f);
  EXPECT_TRUE(images.IsLoaded());
  for (int id : CResourceImage::LoadOrder()) EXPECT_FALSE(images.Image(id).isNull()) << id;
  EXPECT_EQ(images.ImageSize(129), QSize(1200, 750));
  EXPECT_EQ(images.GaugeSurface().size(), QSize(315, 255));
  EXPECT_FALSE(images.AppIcon().isNull());
  EXPECT_TRUE(images.Image(999).isNull());
  COffScreenDC dc;
  ASSERT_TRUE(dc.Create());
  EXPECT_GE(dc.Image().width(), 1920);
  ASSERT_TRUE(dc.Create(640, 480));
  EXPECT_EQ(dc.Image().size(), QSize(640, 480));
}
