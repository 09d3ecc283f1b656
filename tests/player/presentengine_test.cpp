#include "player/presentengine.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cstring>
#include <tuple>

#include <gst/gst.h>
#include <gst/video/video.h>

#include "player/framepool.h"
#include "player/player.h"
#include "player/presenter.h"
#include "testmovies.h"

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
  // Nothing presented yet: the pane is black and there is nothing to capture.
  EXPECT_TRUE(engine.CaptureFrame().isNull());
  QImage pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(20, 15), QColor(Qt::black).rgb());
  engine.PresentImage(TestFrame(64, 48));
  engine.SetDestinationRect(Rect(10, 5, 30, 25));  // right/bottom exclusive
  pane = PaintPane(engine, 40, 30);
  // Black just outside each edge (the first pixel past the right and the
  // bottom too); the left half red, the right half blue, up to the last
  // pixel inside.
  for (auto [x, y, colour] : {std::tuple{9, 15, Qt::black}, {30, 15, Qt::black}, {20, 4, Qt::black},
                              {20, 25, Qt::black}, {11, 15, Qt::red}, {28, 15, Qt::blue}, {29, 24, Qt::blue}})
    EXPECT_EQ(pane.pixel(x, y), QColor(colour).rgb()) << x << "," << y;
  // An empty destination draws nothing but black.
  engine.SetDestinationRect(Rect());
  pane = PaintPane(engine, 40, 30);
  EXPECT_EQ(pane.pixel(20, 15), QColor(Qt::black).rgb());
}

// An I420 sample of a smooth picture: luma ramps left to right, chroma top
// to bottom, so that any scaling of it stays close to the same ramps.
GstSample* RampSample(int w, int h) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, w, h);
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
  GstVideoFrame f;
  gst_video_frame_map(&f, &info, buffer, GST_MAP_WRITE);
  for (int p = 0; p < 3; ++p) {
    auto* d = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&f, p));
    const int pw = GST_VIDEO_FRAME_COMP_WIDTH(&f, p), ph = GST_VIDEO_FRAME_COMP_HEIGHT(&f, p);
    for (int y = 0; y < ph; ++y) {
      for (int x = 0; x < pw; ++x) {
        d[y * GST_VIDEO_FRAME_PLANE_STRIDE(&f, p) + x] =
            p == 0 ? uint8_t(16 + 219 * x / pw) : uint8_t(p == 1 ? 64 + 128 * y / ph : 192 - 128 * y / ph);
      }
    }
  }
  gst_video_frame_unmap(&f);
  GstCaps* caps = gst_video_info_to_caps(&info);
  GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
  gst_caps_unref(caps);
  gst_buffer_unref(buffer);
  return sample;
}

TEST(PresentEngine, ConvertsDecoderFramesAtTheShownSize) {
  EnsureGStreamer();
  GstSample* sample = RampSample(1280, 720);
  PresentEngine engine;
  engine.SetDestinationRect(Rect(0, 0, 320, 180));  // a quarter: scaled from a halved frame
  ASSERT_TRUE(engine.PresentFrame(sample));
  gst_sample_unref(sample);
  EXPECT_EQ(engine.VideoSize(), (Size{1280, 720}));
  const QImage native = engine.CaptureFrame();
  ASSERT_EQ(native.size(), QSize(1280, 720));
  const QImage reference = native.scaled(320, 180, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  for (const Rect& dest : {Rect(0, 0, 320, 180), Rect(0, 0, 800, 450), Rect(0, 0, 1280, 720)}) {
    engine.SetDestinationRect(dest);  // scaled again at paint time
    QImage pane(dest.Width(), dest.Height(), QImage::Format_RGB32);
    QPainter p(&pane);
    engine.Paint(p, dest);
    p.end();
    EXPECT_LT(qvtest::MeanDifference(pane.scaled(320, 180, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), reference), 2.0)
        << dest.Width();
  }
  // The ramps survive: dark on the left, bright on the right.
  EXPECT_LT(qGray(native.pixel(5, 360)), 40);
  EXPECT_GT(qGray(native.pixel(1270, 360)), 200);
  // A zoomed source rectangle takes the right part only.
  engine.SetSourceRect(NormalizedRect{0.5f, 0.0f, 1.0f, 1.0f});
  engine.SetDestinationRect(Rect(0, 0, 160, 90));
  QImage zoom(160, 90, QImage::Format_RGB32);
  QPainter z(&zoom);
  engine.Paint(z, Rect(0, 0, 160, 90));
  z.end();
  EXPECT_GT(qGray(zoom.pixel(2, 45)), 100);
  // Zoom 3 about the centre of the pane, as presented frames and repaints
  // make it: the pane shows the middle of the whole zoomed picture, mirrored
  // about the picture's centre line when the flag is set.
  engine.SetSourceRect(NormalizedRect{});
  for (bool mirror : {false, true}) {
    engine.SetMirror(mirror);
    engine.SetDestinationRect(Rect(0, 0, 480, 270));
    const QImage whole = PaintPane(engine, 480, 270);
    engine.SetDestinationRect(Rect(-160, -90, 320, 180));
    const QImage repainted = PaintPane(engine, 160, 90);
    GstSample* next = RampSample(1280, 720);
    ASSERT_TRUE(engine.PresentFrame(next));
    gst_sample_unref(next);
    const QImage presented = PaintPane(engine, 160, 90);
    EXPECT_EQ(repainted, whole.copy(160, 90, 160, 90)) << mirror;
    EXPECT_EQ(presented, repainted) << mirror;
  }
}

// Blocks come back to the pool from GStreamer memory (whole or shared in
// part) and from pictures; a new size drops the blocks kept of the old one.
TEST(FramePool, KeepsBlocksOfTheCurrentSizeOnly) {
  EnsureGStreamer();
  FramePool pool;
  GstAllocationParams params;
  gst_allocation_params_init(&params);
  params.align = 31;
  GstMemory* a = gst_allocator_alloc(pool.Allocator(), 100000, &params);
  GstMemory* b = gst_allocator_alloc(pool.Allocator(), 100000, &params);
  ASSERT_TRUE(a && b);
  GstMapInfo map;
  ASSERT_TRUE(gst_memory_map(a, &map, GST_MAP_WRITE));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(map.data) & 31, 0u);
  std::memset(map.data, 7, map.size);
  gst_memory_unmap(a, &map);
  GstMemory* part = gst_memory_share(a, 10, 20);
  GstMemory* copy = gst_memory_copy(a, 0, 50);
  ASSERT_TRUE(part && copy);
  gst_memory_unref(a);  // the part still holds the block
  EXPECT_EQ(pool.Counts().inUse, 2u);
  ASSERT_TRUE(gst_memory_map(part, &map, GST_MAP_READ));
  EXPECT_EQ(map.size, 20u);
  EXPECT_EQ(map.data[19], 7);
  gst_memory_unmap(part, &map);
  gst_memory_unref(part);
  gst_memory_unref(copy);
  gst_memory_unref(b);
  FramePool::Figures f = pool.Counts();
  EXPECT_EQ(f.mapped, 2u);
  EXPECT_EQ(f.kept, 2u);
  gst_memory_unref(gst_allocator_alloc(pool.Allocator(), 100000, &params));
  EXPECT_EQ(pool.Counts().mapped, 2u);  // taken again, not mapped
  // Another picture size: the kept blocks go back to the system.
  gst_memory_unref(gst_allocator_alloc(pool.Allocator(), 300000, &params));
  f = pool.Counts();
  EXPECT_EQ(f.mapped, 3u);
  EXPECT_EQ(f.kept, 1u);
  EXPECT_LT(f.bytes, 300000u + 8192u);
  {
    QImage picture = pool.Picture(64, 32);
    ASSERT_EQ(picture.size(), QSize(64, 32));
    picture.fill(Qt::red);
    QImage shared = picture;
    picture = QImage();
    EXPECT_EQ(pool.Counts().inUse, 1u);
    EXPECT_EQ(shared.pixel(63, 31), QColor(Qt::red).rgb());
  }
  f = pool.Counts();
  EXPECT_EQ(f.inUse, 0u);
  EXPECT_EQ(f.kept, 2u);  // one decoded picture block, one picture block
  pool.Picture(64, 32);
  EXPECT_EQ(pool.Counts().mapped, 4u);
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
