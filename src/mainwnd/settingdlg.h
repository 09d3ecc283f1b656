// The settings panel: a small skinned window with four switches that show
// or hide kinds of event marks (in the G-sensor graph and on the map) and
// the program's version.  Each click flips its switch and tells the owner at
// once (kMsgDisplaySwitch: index 0..3 / new state); nothing is stored.
//
// Window thread only.
#pragma once

#include <QGroupBox>
#include <QLabel>

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"
#include "skin/skinbutton.h"
#include "skin/skindialog.h"

namespace qv {

// The switches' command ids; the command range runs on to kLastDisplayCheckId.
constexpr int kFirstDisplayCheckId = 32968;
constexpr int kLastDisplayCheckId = 32975;
constexpr int kDisplayCheckCount = 4;
constexpr int kVersionTextId = 32981;
// The caption close button.
constexpr int kSettingCloseId = 19;
// The window's size in design pixels.
constexpr Size kSettingDesignSize{460, 315};

// Where the controls go at display scale `s` (each length truncated on its
// own, as everywhere in the skin).
struct SettingLayout {
  std::array<Rect, kDisplayCheckCount> checks;
  Rect displayGroup;
  Rect versionGroup;
  Rect versionText;
};
SettingLayout SettingDlgLayout(float s);

// "version 1.0.1", a line break and a line with the build year, the last
// blank-separated word of `buildDate` ("Sep 16 2022").
std::string BuildVersionText(std::string_view buildDate);

// The graph series a switch stands for (7, 4, 5, 6 for 0..3); -1 for any
// other index.
int DisplaySwitchSeries(uintptr_t index);

class CSettingDlg : public CSkinDialog {
  Q_OBJECT
 public:
  explicit CSettingDlg(QWidget* owner);
  ~CSettingDlg() override;

  // Where the switches' notices go (the main window).
  void SetOwnerPort(AppMessagePort port) { owner_ = std::move(port); }

  // Makes the controls and places the window; true.
  bool OnInitDialog();
  // Places every control for the current scale; the check images and fonts
  // are made again.
  void Relayout() override;
  // Sizes the window to its design size at the current scale and centres it
  // on the monitor that holds the owner's top-left corner.
  void PlaceBesideOwner();
  // A switch's command: flips it and tells the owner.  Ids past the four
  // switches do nothing.
  void OnDisplayCheck(int id);

  CSkinCheckButton* Check(int index) const;
  bool Checked(int index) const;
  QString VersionText() const { return version_ ? version_->text() : QString(); }

 protected:
  void OnCommand(int id) override;
  void OnScaleChanged() override;

 private:
  void PlaceControls();
  QWidget* ownerWindow_;
  AppMessagePort owner_;
  std::array<std::unique_ptr<CSkinCheckButton>, kDisplayCheckCount> checks_;
  std::unique_ptr<QGroupBox> displayGroup_;
  std::unique_ptr<QGroupBox> versionGroup_;
  std::unique_ptr<QLabel> version_;
};

}  // namespace qv
