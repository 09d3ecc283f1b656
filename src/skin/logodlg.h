// The logo shown in the map pop-out in place of the map: image 164 (frame
// flag 1) or 324 (frame flag 0), aspect-fitted on black inside a white
// frame.  kMsgLogoShow shows or hides it by its show flag.
#pragma once

#include <QWidget>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"

namespace qv {

class CResourceImage;

// Posted to the logo window (0 / 0): show or hide it by its show flag.
constexpr uint32_t kMsgLogoShow = kWmApp + 0x5DD;

class CLogoDlg : public QWidget {
  Q_OBJECT
 public:
  CLogoDlg(CResourceImage* images, QWidget* parent);

  void SetFrameFlag(int flag) { frameFlag_ = flag; }
  int FrameFlag() const { return frameFlag_; }
  void SetShowFlag(int flag) { showFlag_ = flag; }
  int ShowFlag() const { return showFlag_; }
  AppMessagePort Port() const { return messages_.Port(); }

  // Draws the image of the frame flag fitted into r: black around it.
  static void DrawLogoFitted(QPainter& p, const QImage& logo, const Rect& r);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void OnShowLogo();

  int frameFlag_ = 1;
  int showFlag_ = 0;
  CResourceImage* images_;
  AppMessageSink messages_{this};
};

}  // namespace qv
