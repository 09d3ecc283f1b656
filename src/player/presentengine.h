// Draws the presenter's current frame into a video pane.
//
// The engine keeps the last presented frame as the decoder gave it (for
// repaints and stills).  The scheduler thread hands it frames and converts
// each to the destination's size right away, so that the window thread only
// copies pixels; it never touches the pane, it only posts the pane a repaint
// request (at most one outstanding), and the pane calls Paint from its
// paintEvent on the window thread.
#pragma once

#include <QImage>
#include <QRectF>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/rect.h"
#include "player/playermessages.h"

class QPainter;
typedef struct _GstSample GstSample;

namespace qv {

class FramePool;

// A rectangle in fractions of the frame (0..1 on both axes).
struct NormalizedRect {
  float left = 0.0f;
  float top = 0.0f;
  float right = 1.0f;
  float bottom = 1.0f;
  friend bool operator==(const NormalizedRect&, const NormalizedRect&) = default;
};

// The part of the frame (in frame pixels) that a normalised source rectangle
// selects.
QRectF SourcePixels(const NormalizedRect& source, int width, int height);

class PresentEngine {
 public:
  PresentEngine() = default;
  ~PresentEngine();
  PresentEngine(const PresentEngine&) = delete;
  PresentEngine& operator=(const PresentEngine&) = delete;

  // Where the scaled pictures' pixels come from (new images when none).
  void SetFramePool(std::shared_ptr<FramePool> frames) { frames_ = std::move(frames); }
  // Where repaint requests go; an empty port stops them.
  void SetVideoWindow(AppMessagePort port);

  // Makes `frame` (raw video in I420, NV12, BGRx or BGRA; a reference is
  // taken) the current frame and asks the pane to repaint.  False when the
  // sample holds no readable frame.
  bool PresentFrame(GstSample* frame);
  // Makes an image the current frame (tests, and the paths without a sample).
  void PresentImage(const QImage& image);
  // Asks the pane to repaint the current frame.
  void RequestRepaint();

  void SetDestinationRect(const Rect& r);
  Rect DestinationRect() const;
  void SetSourceRect(const NormalizedRect& r);
  NormalizedRect SourceRect() const;

  // The mirror flag (picture flipped left to right) and the second flag that
  // the slot carries across a close with it.
  bool Mirror() const;
  void SetMirror(bool mirror);
  bool ToggleMirror();
  int SecondFlag() const;
  void SetSecondFlag(int flag);

  // Paints the pane's client area: the frame scaled smoothly into the
  // destination rectangle, black everywhere else.  Window thread only.  The
  // area is remembered: later frames are scaled for the part of the
  // destination inside it only.
  void Paint(QPainter& painter, const Rect& client);

  // The current frame at its native size, mirrored when the mirror flag is
  // set; a null image before the first frame.
  QImage CaptureFrame() const;
  // Frame size of the current frame (0 x 0 before the first).
  Size VideoSize() const;
  bool HasFrame() const;
  // Frames made current so far.
  uint64_t PresentedCount() const { return presented_.load(); }

 private:
  // The current frame: a decoder sample, or an image (tests).
  struct Frame {
    GstSample* sample = nullptr;
    QImage image;
    int width = 0;
    int height = 0;
  };
  // A converter from the frame's format to BGRx of one size, kept while the
  // formats and the source rectangle stay the same.
  struct Converter;
  // What a scaled picture was made for: the destination, the source
  // rectangle, the part of the destination the pane shows (pane pixels) and
  // the mirror flag.
  struct ScaledKey {
    Rect destination;
    NormalizedRect source;
    QRect shown;
    bool mirror = false;
    bool operator==(const ScaledKey&) const = default;
  };
  // The frame's source part scaled to width x height (flipped left to right
  // when `mirror` is set), of which only `window` is made: a zoomed picture
  // costs what the pane shows, not what the zoom would cover.
  // The pixels come from `pool` when given.
  static QImage Scale(const Frame& frame, const NormalizedRect& source, int width, int height, const QRect& window,
                      bool mirror, Converter** converter, const FramePool* pool);
  QImage ScaleShown(const Frame& frame, const ScaledKey& key, Converter** converter) const;
  static QRect ShownPart(const Rect& destination, const Rect& client);
  static void ReleaseFrame(Frame* frame);
  void Present(Frame* frame);

  std::shared_ptr<FramePool> frames_;
  mutable std::mutex lock_;
  Frame frame_;
  QImage scaled_;  // the shown part of frame_ at the destination's scale, when made
  ScaledKey scaledKey_;
  Rect client_;  // the pane's area at its last paint (empty before the first)
  Rect destination_;
  NormalizedRect source_;
  bool mirror_ = false;
  int secondFlag_ = 2;
  AppMessagePort window_;
  std::atomic<bool> repaintPending_{false};
  std::atomic<uint64_t> presented_{0};

  // Each converter is used by one thread at a time under its own lock.
  std::mutex presentConvertLock_;
  Converter* presentConverter_ = nullptr;
  std::mutex paintConvertLock_;
  Converter* paintConverter_ = nullptr;
  mutable std::mutex captureConvertLock_;
  mutable Converter* captureConverter_ = nullptr;
};

}  // namespace qv
