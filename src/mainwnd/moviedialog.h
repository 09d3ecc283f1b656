// The pop-outs: the movie pop-out that holds the rear pane and the map
// pop-out that holds the map and the logo.  Each is a skinned dialog made a
// tool window of the main window (it stays above it and off the task bar),
// with a grey caption strip, a close button that only hides it, a grey
// border t(4) wide and resizing by its borders.
//
// It tells its owner what happened by posting to the owner's port (the
// window thread's queue), with its NoticeId() as lParam where one is sent:
//   kMsgPopoutPainted (0, id)          after painting, coalesced
//   kMsgPopoutClosed (0, 0)            its close button (it hides itself)
//   kMsgPopoutCaptionDoubleClick (0, 0) a double click in its caption
//   kMsgPopoutResized (0, id)          after a resize while visible
//   kMsgResetZoomView (0, 2)           every left-button release
//
// The painted notice follows only paints that reach the pop-out's own frame
// (its caption strip and border), once for a burst of them: the pop-out
// asks itself first and forwards one notice when its own message comes
// round.  So an owner that redraws the pane inside on the notice never
// starts an endless repaint loop, even if the pane were not opaque.
//
// Window thread only.
#pragma once

#include <QPointer>

#include <cstdint>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"
#include "skin/skindialog.h"
#include "uitext/uitext.h"

namespace qv {

class CMovieDialog : public CSkinDialog {
  Q_OBJECT
 public:
  // The command of the close button.
  static constexpr int kCloseCommand = 23;

  // `owner` is the main window: the pop-out is its tool window.  The
  // pop-out starts hidden; OnInitDialog makes the close button.
  explicit CMovieDialog(QWidget* owner);
  // A pop-out that stays above `owner` without being its child object: the
  // map pop-out, whose web view draws through OpenGL.  The toolkit composes
  // a window through OpenGL when any widget below it does, child windows
  // included, so as the owner's child it would have every frame of the
  // video panes composed that way too.
  struct DetachedTag {};
  CMovieDialog(QWidget* owner, DetachedTag);
  ~CMovieDialog() override;

  // Makes the close button and the border pen.  Called once by the owner
  // after construction (and after SetScale when the scale is known).
  void OnInitDialog();
  // The settings sections of the two pop-outs.
  static constexpr const char* kMovieSection = "MOVIEDISPLAY";
  static constexpr const char* kMapSection = "MAPDISPLAY";
  // Takes the design size of the pop-out the section names (the movie or
  // the map pop-out, not the main window's), then loads the section's saved
  // scale and sizes the window to design size × scale.  Border drags clamp
  // against that design size.
  void InitScale(const std::string& section) override;
  // Where the notices go.
  void SetOwnerPort(AppMessagePort port) { owner_ = std::move(port); }
  // The window text: entry `id` of the UI text table; then a repaint.
  void SetCaption(UiText id);

  // The lParam of the pop-out's painted and resized notices.
  intptr_t NoticeId() const { return reinterpret_cast<intptr_t>(this); }
  // The window rectangle stored at the last resize while visible.
  Rect LastWindowRect() const { return lastRect_; }
  // The border pen's width: 2 × t(4) (half of it falls inside the window).
  int BorderPenWidth() const { return borderPen_; }
  // Paints so far and notices posted (tests).
  uint64_t Paints() const { return paints_; }
  uint64_t PaintedNotices() const { return paintedNotices_; }

 protected:
  void OnCommand(int id) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void OnScaleChanged() override;
  void showEvent(QShowEvent* e) override;

 private:
  void Notify(uint32_t message, intptr_t lParam);

  AppMessagePort owner_;
  QPointer<QWidget> stackOwner_;  // a detached pop-out's owner
  AppMessageSink self_{this};
  int borderPen_ = 0;  // 0 until OnInitDialog
  Rect lastRect_;
  bool paintNoticeQueued_ = false;
  uint64_t paints_ = 0;
  uint64_t paintedNotices_ = 0;
};

}  // namespace qv
