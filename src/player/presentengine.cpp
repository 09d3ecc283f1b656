#include "player/presentengine.h"

#include "player/framepool.h"
#include "player/yuvscale.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// BGRx of the given size, otherwise like `in` (the converter wants the same
// frame rate and interlacing on both sides).
GstVideoInfo OutputInfo(const GstVideoInfo& in, int width, int height) {
  GstVideoInfo out;
  gst_video_info_set_interlaced_format(&out, GST_VIDEO_FORMAT_BGRx, GST_VIDEO_INFO_INTERLACE_MODE(&in), width, height);
  GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
  GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
  return out;
}

}  // namespace

QRectF SourcePixels(const NormalizedRect& source, int width, int height) {
  return QRectF(QPointF(source.left * width, source.top * height), QPointF(source.right * width, source.bottom * height));
}

struct PresentEngine::Converter {
  GstVideoInfo in{};
  int width = 0;
  int height = 0;
  int srcX = 0, srcY = 0, srcW = 0, srcH = 0;
  GstVideoConverter* converter = nullptr;
  YuvScaler yuv;  // I420 and NV12
  ~Converter() {
    if (converter) gst_video_converter_free(converter);
  }
};

PresentEngine::~PresentEngine() {
  ReleaseFrame(&frame_);
  delete presentConverter_;
  delete paintConverter_;
  delete captureConverter_;
}

void PresentEngine::ReleaseFrame(Frame* frame) {
  if (frame->sample) gst_sample_unref(frame->sample);
  *frame = Frame();
}

QImage PresentEngine::Scale(const Frame& frame, const NormalizedRect& source, int width, int height,
                            const QRect& window, bool mirror, Converter** converter, const FramePool* pool) {
  if (width <= 0 || height <= 0 || frame.width <= 0 || frame.height <= 0 || window.isEmpty() ||
      !QRect(0, 0, width, height).contains(window)) {
    return QImage();
  }
  const QRectF exact = SourcePixels(source, frame.width, frame.height);
  const QRect crop = exact.toRect() & QRect(0, 0, frame.width, frame.height);
  if (crop.isEmpty()) return QImage();
  // The window as the unmirrored picture has it; the part of the crop it
  // shows, in frame pixels.
  const QRect plain = mirror ? QRect(width - window.x() - window.width(), window.y(), window.width(), window.height())
                             : window;
  const double sx = double(crop.width()) / width, sy = double(crop.height()) / height;
  const QRectF part(crop.x() + plain.x() * sx, crop.y() + plain.y() * sy, plain.width() * sx, plain.height() * sy);
  if (!frame.sample) {
    // Drawn with the painter, which computes only the window's pixels.
    QImage image(window.size(), QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(-plain.x(), -plain.y(), width, height), frame.image, QRectF(crop));
    painter.end();
    return mirror ? image.mirrored(true, false) : image;
  }
  GstVideoInfo in;
  GstBuffer* buffer = gst_sample_get_buffer(frame.sample);
  if (!buffer || !gst_video_info_from_caps(&in, gst_sample_get_caps(frame.sample))) return QImage();
  const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&in);
  if ((format == GST_VIDEO_FORMAT_I420 || format == GST_VIDEO_FORMAT_NV12) && !GST_VIDEO_INFO_IS_INTERLACED(&in)) {
    // Our own scaler: one pass from the planes to the shown part.
    if (!*converter) *converter = new Converter;
    YuvMatrix matrix;
    gdouble kr = 0, kb = 0;
    if (gst_video_color_matrix_get_Kr_Kb(in.colorimetry.matrix, &kr, &kb)) {
      matrix.kr = kr;
      matrix.kb = kb;
    }
    matrix.fullRange = in.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    QImage image = pool ? pool->Picture(window.width(), window.height()) : QImage(window.size(), QImage::Format_RGB32);
    GstVideoFrame src;
    if (image.isNull() || !gst_video_frame_map(&src, &in, buffer, GST_MAP_READ)) return QImage();
    YuvFrame yuv;
    yuv.layout = format == GST_VIDEO_FORMAT_I420 ? YuvLayout::kI420 : YuvLayout::kNV12;
    yuv.width = frame.width;
    yuv.height = frame.height;
    for (guint p = 0; p < GST_VIDEO_FRAME_N_PLANES(&src) && p < 3; ++p) {
      yuv.plane[p] = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&src, p));
      yuv.stride[p] = GST_VIDEO_FRAME_PLANE_STRIDE(&src, p);
    }
    const bool ok = (*converter)->yuv.ScaleWindow(
        yuv, matrix, YuvCrop{crop.x(), crop.y(), crop.width(), crop.height()},
        YuvWindow{width, height, window.x(), window.y()}, image.bits(), int(image.bytesPerLine()), window.width(),
        window.height(), mirror);
    gst_video_frame_unmap(&src);
    return ok ? image : QImage();
  }
  // Other formats: the converter takes whole source pixels, so the shown
  // part starts at the nearest one.
  const QRect src = QRect(QPoint(int(std::lround(part.left())), int(std::lround(part.top()))),
                          QPoint(int(std::lround(part.right())) - 1, int(std::lround(part.bottom())) - 1)) &
                    crop;
  if (src.isEmpty()) return QImage();
  width = window.width();
  height = window.height();
  Converter* c = *converter;
  if (!c || !c->converter || !gst_video_info_is_equal(&c->in, &in) || c->width != width || c->height != height ||
      c->srcX != src.x() || c->srcY != src.y() || c->srcW != src.width() || c->srcH != src.height()) {
    delete c;
    *converter = c = new Converter;
    c->in = in;
    c->width = width;
    c->height = height;
    c->srcX = src.x();
    c->srcY = src.y();
    c->srcW = src.width();
    c->srcH = src.height();
    const GstVideoInfo out = OutputInfo(in, width, height);
    GstStructure* config = gst_structure_new(
        "config", GST_VIDEO_CONVERTER_OPT_SRC_X, G_TYPE_INT, src.x(), GST_VIDEO_CONVERTER_OPT_SRC_Y, G_TYPE_INT,
        src.y(), GST_VIDEO_CONVERTER_OPT_SRC_WIDTH, G_TYPE_INT, src.width(), GST_VIDEO_CONVERTER_OPT_SRC_HEIGHT,
        G_TYPE_INT, src.height(), GST_VIDEO_CONVERTER_OPT_RESAMPLER_METHOD, GST_TYPE_VIDEO_RESAMPLER_METHOD,
        GST_VIDEO_RESAMPLER_METHOD_LINEAR, GST_VIDEO_CONVERTER_OPT_DITHER_METHOD, GST_TYPE_VIDEO_DITHER_METHOD,
        GST_VIDEO_DITHER_NONE, GST_VIDEO_CONVERTER_OPT_CHROMA_MODE, GST_TYPE_VIDEO_CHROMA_MODE,
        GST_VIDEO_CHROMA_MODE_NONE, GST_VIDEO_RESAMPLER_OPT_MAX_TAPS, G_TYPE_INT, 2, nullptr);
    c->converter = gst_video_converter_new(&in, &out, config);
  }
  if (!c->converter) return QImage();
  QImage image = pool ? pool->Picture(width, height) : QImage(width, height, QImage::Format_RGB32);
  const GstVideoInfo out = OutputInfo(in, width, height);
  if (image.bytesPerLine() != GST_VIDEO_INFO_PLANE_STRIDE(&out, 0)) return QImage();
  GstBuffer* target = gst_buffer_new_wrapped_full(GstMemoryFlags(0), image.bits(), image.sizeInBytes(), 0,
                                                  image.sizeInBytes(), nullptr, nullptr);
  GstVideoFrame srcFrame, dst;
  bool ok = false;
  if (gst_video_frame_map(&srcFrame, &in, buffer, GST_MAP_READ)) {
    if (gst_video_frame_map(&dst, &out, target, GST_MAP_WRITE)) {
      gst_video_converter_frame(c->converter, &srcFrame, &dst);
      gst_video_frame_unmap(&dst);
      ok = true;
    }
    gst_video_frame_unmap(&srcFrame);
  }
  gst_buffer_unref(target);
  if (!ok) return QImage();
  return mirror ? image.mirrored(true, false) : image;
}

QRect PresentEngine::ShownPart(const Rect& destination, const Rect& client) {
  return ToQRect(destination) & ToQRect(client);
}

void PresentEngine::SetVideoWindow(AppMessagePort port) {
  std::lock_guard<std::mutex> l(lock_);
  window_ = std::move(port);
  repaintPending_ = false;
}

bool PresentEngine::PresentFrame(GstSample* sample) {
  GstVideoInfo info;
  GstCaps* caps = gst_sample_get_caps(sample);
  if (!caps || !gst_sample_get_buffer(sample) || !gst_video_info_from_caps(&info, caps)) return false;
  Frame frame;
  frame.sample = gst_sample_ref(sample);
  frame.width = GST_VIDEO_INFO_WIDTH(&info);
  frame.height = GST_VIDEO_INFO_HEIGHT(&info);
  Present(&frame);
  return true;
}

void PresentEngine::PresentImage(const QImage& image) {
  Frame frame;
  frame.image = image;
  frame.width = image.width();
  frame.height = image.height();
  Present(&frame);
}

void PresentEngine::Present(Frame* frame) {
  ScaledKey key;
  {
    std::lock_guard<std::mutex> l(lock_);
    key = ScaledKey{destination_, source_, ShownPart(destination_, client_), mirror_};
  }
  // Scaled here, on the presenting thread, not by the window thread; only
  // the part of the destination that the pane shows.  Until the pane first
  // painted, its area is not known (empty, so nothing is shown): the paint
  // scales then.
  QImage scaled;
  if (!key.shown.isEmpty()) {
    std::lock_guard<std::mutex> c(presentConvertLock_);
    scaled = ScaleShown(*frame, key, &presentConverter_);
  }
  {
    std::lock_guard<std::mutex> l(lock_);
    std::swap(frame_, *frame);
    scaled_ = scaled;
    scaledKey_ = key;
  }
  ReleaseFrame(frame);  // the previous frame, outside the lock
  ++presented_;
  RequestRepaint();
}

void PresentEngine::RequestRepaint() {
  if (repaintPending_.exchange(true)) return;
  std::lock_guard<std::mutex> l(lock_);
  if (!window_ || !window_.Post(kMsgPresenterFrame)) repaintPending_ = false;
}

void PresentEngine::SetDestinationRect(const Rect& r) {
  std::lock_guard<std::mutex> l(lock_);
  destination_ = r;
}

Rect PresentEngine::DestinationRect() const {
  std::lock_guard<std::mutex> l(lock_);
  return destination_;
}

void PresentEngine::SetSourceRect(const NormalizedRect& r) {
  std::lock_guard<std::mutex> l(lock_);
  source_ = r;
}

NormalizedRect PresentEngine::SourceRect() const {
  std::lock_guard<std::mutex> l(lock_);
  return source_;
}

bool PresentEngine::Mirror() const {
  std::lock_guard<std::mutex> l(lock_);
  return mirror_;
}

void PresentEngine::SetMirror(bool mirror) {
  std::lock_guard<std::mutex> l(lock_);
  mirror_ = mirror;
}

bool PresentEngine::ToggleMirror() {
  std::lock_guard<std::mutex> l(lock_);
  mirror_ = !mirror_;
  return mirror_;
}

int PresentEngine::SecondFlag() const {
  std::lock_guard<std::mutex> l(lock_);
  return secondFlag_;
}

void PresentEngine::SetSecondFlag(int flag) {
  std::lock_guard<std::mutex> l(lock_);
  secondFlag_ = flag;
}

void PresentEngine::Paint(QPainter& painter, const Rect& client) {
  repaintPending_ = false;
  Frame frame;
  QImage scaled;
  ScaledKey scaledKey;
  ScaledKey key;
  {
    std::lock_guard<std::mutex> l(lock_);
    client_ = client;
    frame = frame_;
    if (frame.sample) gst_sample_ref(frame.sample);
    scaled = scaled_;
    scaledKey = scaledKey_;
    key = ScaledKey{destination_, source_, ShownPart(destination_, client), mirror_};
  }
  // Black only where the picture does not go: it covers most of the pane.
  QRegion black(ToQRect(client));
  if (!key.shown.isEmpty() && frame.width > 0) {
    if (scaled.isNull() || !(scaledKey == key)) {
      // The pane or the placement changed since the frame came: scale it
      // here once.
      {
        std::lock_guard<std::mutex> c(paintConvertLock_);
        scaled = ScaleShown(frame, key, &paintConverter_);
      }
      std::lock_guard<std::mutex> l(lock_);
      if (frame_.sample == frame.sample && frame_.image.cacheKey() == frame.image.cacheKey()) {
        scaled_ = scaled;
        scaledKey_ = key;
      }
    }
    if (!scaled.isNull()) {
      painter.drawImage(key.shown.topLeft(), scaled);
      black -= QRect(key.shown.topLeft(), scaled.size());
    }
  }
  for (const QRect& r : black) painter.fillRect(r, Qt::black);
  ReleaseFrame(&frame);
}

QImage PresentEngine::ScaleShown(const Frame& frame, const ScaledKey& key, Converter** converter) const {
  const QRect window = key.shown.translated(-key.destination.left, -key.destination.top);
  return Scale(frame, key.source, key.destination.Width(), key.destination.Height(), window, key.mirror, converter,
               frames_.get());
}

QImage PresentEngine::CaptureFrame() const {
  Frame frame;
  bool mirror;
  {
    std::lock_guard<std::mutex> l(lock_);
    frame = frame_;
    if (frame.sample) gst_sample_ref(frame.sample);
    mirror = mirror_;
  }
  QImage image;
  {
    std::lock_guard<std::mutex> c(captureConvertLock_);
    // A still is made at the frame's size, once: not from the pool, which
    // keeps blocks of the pane's size.
    image = Scale(frame, NormalizedRect{}, frame.width, frame.height, QRect(0, 0, frame.width, frame.height), mirror,
                  &captureConverter_, nullptr);
  }
  ReleaseFrame(&frame);
  if (image.isNull()) return image;
  // Never share pixels with the current frame.
  return image.isDetached() ? image : image.copy();
}

Size PresentEngine::VideoSize() const {
  std::lock_guard<std::mutex> l(lock_);
  return Size{frame_.width, frame_.height};
}

bool PresentEngine::HasFrame() const {
  std::lock_guard<std::mutex> l(lock_);
  return frame_.width > 0;
}

}  // namespace qv
