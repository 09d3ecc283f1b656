#include "player/presentengine.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "player/player.h"
#include "player/presenter.h"

namespace qv {
namespace {

// A frame whose left half is red and right half blue, with a green top row.
QImage TestFrame(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QPainter p(&image);
  p.fillRect(0, 0, w / 2, h, Qt::red);
  p.fillRect(0, 0, w, 1, Qt::green);
  return image;
}

QImage PaintPane(PresentEngine& engine, int w, int h) {
  QImage pane(w, h, QImage::Format_RGB32);
  pane.fill(Qt::white);
  QPainter p(&pane);
  engine.Paint(p, Rect(0, 0, w, h));
  return pane;
}

TEST(PresentEngine, PaintsIntoDestinationBlackElsewhere) {
  PresentEngine engine;
  // Nothing presented yet: the pane is black.
  QImage pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(20, 15), QColor(Qt::black).rgb());
  engine.PresentImage(TestFrame(64, 48));
  engine.SetDestinationRect(Rect(10, 5, 30, 25));  // right/bottom exclusive
  pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(9, 15), QColor(Qt::black).rgb());
  EXPECT_EQ(pane.pixel(30, 15), QColor(Qt::black).rgb());  // first pixel past the right edge
  EXPECT_EQ(pane.pixel(20, 4), QColor(Qt::black).rgb());
  EXPECT_EQ(pane.pixel(20, 25), QColor(Qt::black).rgb());
  EXPECT_EQ(qRed(pane.pixel(11, 15)), 255);   // left half red
  EXPECT_EQ(qBlue(pane.pixel(28, 15)), 255);  // right half blue
  EXPECT_EQ(pane.pixel(29, 24), QColor(Qt::blue).rgb());  // last pixel inside is painted
  // Mirrored: red on the right, blue on the left, still inside the rectangle.
  EXPECT_TRUE(engine.ToggleMirror());
  pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(qBlue(pane.pixel(11, 15)), 255);
  EXPECT_EQ(qRed(pane.pixel(28, 15)), 255);
  EXPECT_EQ(pane.pixel(9, 15), QColor(Qt::black).rgb());
  EXPECT_EQ(pane.pixel(30, 15), QColor(Qt::black).rgb());
  EXPECT_FALSE(engine.ToggleMirror());  // twice restores
  // An empty destination draws nothing but black.
  engine.SetDestinationRect(Rect());
  pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(20, 15), QColor(Qt::black).rgb());
}

TEST(PresentEngine, CaptureIsNativeSizeAndFollowsMirror) {
  PresentEngine engine;
  EXPECT_TRUE(engine.CaptureFrame().isNull());
  const QImage frame = TestFrame(64, 48);
  engine.PresentImage(frame);
  engine.SetDestinationRect(Rect(0, 0, 10, 10));  // zoom and letterbox do not matter
  QImage shot = engine.CaptureFrame();
  ASSERT_EQ(shot.size(), QSize(64, 48));
  EXPECT_EQ(shot, frame);
  engine.SetMirror(true);
  shot = engine.CaptureFrame();
  EXPECT_EQ(shot, frame.mirrored(true, false));
  EXPECT_EQ(qBlue(shot.pixel(0, 10)), 255);
}

TEST(PresentEngine, SourceRectangleZooms) {
  PresentEngine engine;
  engine.PresentImage(TestFrame(64, 48));
  engine.SetDestinationRect(Rect(0, 0, 40, 30));
  engine.SetSourceRect(NormalizedRect{0.5f, 0.5f, 1.0f, 1.0f});  // the blue quarter
  const QImage pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(2, 2), QColor(Qt::blue).rgb());
  EXPECT_EQ(pane.pixel(37, 27), QColor(Qt::blue).rgb());
}

TEST(CustomPresenter, DisplayControlValidation) {
  EnsureGStreamer();
  CustomPresenter presenter;
  Size size, aspect;
  EXPECT_FALSE(presenter.GetNativeVideoSize(&size, &aspect));  // no frame yet
  EXPECT_EQ(presenter.SetVideoPosition(nullptr, nullptr), PresenterResult::kPointer);
  const NormalizedRect backwards{0.2f, 0.0f, 0.1f, 1.0f};
  EXPECT_EQ(presenter.SetVideoPosition(&backwards, nullptr), PresenterResult::kInvalidArg);
  const NormalizedRect outside{0.0f, 0.0f, 1.5f, 1.0f};
  EXPECT_EQ(presenter.SetVideoPosition(&outside, nullptr), PresenterResult::kInvalidArg);
  const Rect upside(0, 10, 10, 0);
  EXPECT_EQ(presenter.SetVideoPosition(nullptr, &upside), PresenterResult::kInvalidArg);
  const NormalizedRect half{0.0f, 0.0f, 0.5f, 1.0f};
  const Rect dest(1, 2, 3, 4);
  EXPECT_EQ(presenter.SetVideoPosition(&half, &dest), PresenterResult::kOk);
  NormalizedRect gotSource;
  Rect gotDest;
  EXPECT_EQ(presenter.GetVideoPosition(&gotSource, nullptr), PresenterResult::kPointer);
  ASSERT_EQ(presenter.GetVideoPosition(&gotSource, &gotDest), PresenterResult::kOk);
  EXPECT_EQ(gotSource, half);
  EXPECT_EQ(gotDest, dest);

  presenter.Engine().PresentImage(QImage(1920, 1080, QImage::Format_RGB32));
  ASSERT_TRUE(presenter.GetNativeVideoSize(&size, &aspect));
  EXPECT_EQ(size, (Size{1920, 1080}));
  EXPECT_EQ(aspect, (Size{16, 9}));
  presenter.Engine().PresentImage(QImage(720, 480, QImage::Format_RGB32));
  ASSERT_TRUE(presenter.GetNativeVideoSize(&size, &aspect));
  EXPECT_EQ(aspect, (Size{3, 2}));
  EXPECT_EQ(presenter.AspectRatioMode(), 1);
  presenter.SetAspectRatioMode(0);
  EXPECT_EQ(presenter.AspectRatioMode(), 0);
  EXPECT_EQ(presenter.GetCurrentImage().size(), QSize(720, 480));
  presenter.Shutdown();
  EXPECT_EQ(presenter.RepaintVideo(), PresenterResult::kShutdown);
}

}  // namespace
}  // namespace qv
