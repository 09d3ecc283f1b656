#include "player/presentengine.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <QPainter>

#include <algorithm>

namespace qv {

namespace {

// A mapped frame that lives as long as the QImage over its pixels.
struct MappedFrame {
  GstSample* sample = nullptr;
  GstVideoFrame frame;
};

void ReleaseMappedFrame(void* info) {
  auto* m = static_cast<MappedFrame*>(info);
  gst_video_frame_unmap(&m->frame);
  gst_sample_unref(m->sample);
  delete m;
}

QImage ImageFromSample(GstSample* sample) {
  GstCaps* caps = gst_sample_get_caps(sample);
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!caps || !buffer) return QImage();
  GstVideoInfo info;
  if (!gst_video_info_from_caps(&info, caps)) return QImage();
  const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
  if (format != GST_VIDEO_FORMAT_BGRx && format != GST_VIDEO_FORMAT_BGRA) return QImage();
  auto* m = new MappedFrame;
  if (!gst_video_frame_map(&m->frame, &info, buffer, GST_MAP_READ)) {
    delete m;
    return QImage();
  }
  m->sample = gst_sample_ref(sample);
  return QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&m->frame, 0)), GST_VIDEO_FRAME_WIDTH(&m->frame),
                GST_VIDEO_FRAME_HEIGHT(&m->frame), GST_VIDEO_FRAME_PLANE_STRIDE(&m->frame, 0), QImage::Format_RGB32,
                ReleaseMappedFrame, m);
}

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

QRectF SourcePixels(const NormalizedRect& source, int width, int height) {
  return QRectF(QPointF(source.left * width, source.top * height), QPointF(source.right * width, source.bottom * height));
}

void PresentEngine::SetVideoWindow(AppMessagePort port) {
  std::lock_guard<std::mutex> l(lock_);
  window_ = std::move(port);
  repaintPending_ = false;
}

bool PresentEngine::PresentFrame(GstSample* frame) {
  QImage image = ImageFromSample(frame);
  if (image.isNull()) return false;
  PresentImage(image);
  return true;
}

void PresentEngine::PresentImage(const QImage& image) {
  QImage old;
  {
    std::lock_guard<std::mutex> l(lock_);
    old.swap(frame_);
    frame_ = image;
  }
  ++presented_;
  RequestRepaint();
  // `old` (and the decoder's buffer behind it) goes here, outside the lock.
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
  QImage image;
  Rect dest;
  NormalizedRect source;
  bool mirror;
  {
    std::lock_guard<std::mutex> l(lock_);
    image = frame_;  // shared, no copy
    dest = destination_;
    source = source_;
    mirror = mirror_;
  }
  painter.fillRect(ToQRect(client), Qt::black);
  if (image.isNull() || dest.IsEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  QRectF target(dest.left, dest.top, dest.Width(), dest.Height());
  if (mirror) {
    // Flip about the destination's vertical centre line.
    painter.translate(dest.left + dest.right, 0);
    painter.scale(-1, 1);
  }
  painter.drawImage(target, image, SourcePixels(source, image.width(), image.height()));
  painter.restore();
}

QImage PresentEngine::CaptureFrame() const {
  QImage image;
  bool mirror;
  {
    std::lock_guard<std::mutex> l(lock_);
    image = frame_;
    mirror = mirror_;
  }
  if (image.isNull()) return image;
  return mirror ? image.mirrored(true, false) : image.copy();
}


Size PresentEngine::VideoSize() const {
  std::lock_guard<std::mutex> l(lock_);
  return frame_.isNull() ? Size{} : Size{frame_.width(), frame_.height()};
}

bool PresentEngine::HasFrame() const {
  std::lock_guard<std::mutex> l(lock_);
  return !frame_.isNull();
}

}  // namespace qv
