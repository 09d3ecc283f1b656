#include "mainwnd/settingdlg.h"

#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/updatecheck.h"
#include "platform/qt/monitor.h"
#include "platform/qt/qtconvert.h"
#include "skin/fonts.h"
#include "skin/skingeometry.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

using skin::T;

namespace {

struct CheckRow {
  UiText label;
  Rect cell;  // design pixels
};
constexpr std::array<CheckRow, kDisplayCheckCount> kChecks = {{
    {UiText::SwitchDriveSupport, Rect(40, 60, 200, 100)},
    {UiText::SwitchEmergencyStop, Rect(40, 100, 200, 140)},
    {UiText::SwitchParkingShock, Rect(240, 60, 400, 100)},
    {UiText::SwitchSpeeding, Rect(240, 100, 400, 140)},
}};
constexpr std::array<int, kDisplayCheckCount> kSeries = {7, 4, 5, 6};

const QColor kBackground(0x3F, 0x3F, 0x3F);

QString Text(UiText id) { return QString::fromUtf8(GetUiText(id)); }

}  // namespace

SettingLayout SettingDlgLayout(float s) {
  SettingLayout l;
  for (int i = 0; i < kDisplayCheckCount; ++i) {
    const Rect& c = kChecks[static_cast<size_t>(i)].cell;
    l.checks[static_cast<size_t>(i)] = Rect(T(s, c.left), T(s, c.top), T(s, c.right), T(s, c.bottom));
  }
  const int width = T(s, 460) - T(s, 26);
  l.displayGroup = Rect::FromSize(T(s, 10), T(s, 10) + T(s, 20), width, T(s, 160));
  l.versionGroup = Rect::FromSize(T(s, 10), T(s, 160) + T(s, 20) + T(s, 10), width, T(s, 110));
  l.versionText = Rect(2 * T(s, 10), T(s, 10) + T(s, 160) + 2 * T(s, 20),
                       T(s, 460) - T(s, 20) - T(s, 26) + 2 * T(s, 10),
                       T(s, 110) + T(s, 160) - T(s, 50) + 2 * T(s, 20) + T(s, 10));
  return l;
}

std::string BuildVersionText(std::string_view buildDate) {
  while (!buildDate.empty() && buildDate.back() == ' ') buildDate.remove_suffix(1);
  const size_t blank = buildDate.rfind(' ');
  const std::string_view year = blank == std::string_view::npos ? buildDate : buildDate.substr(blank + 1);
  std::string text = "version ";
  text += mainwnd::kProgramVersion;
  text += "\nbuilt ";
  text += year;
  return text;
}

int DisplaySwitchSeries(uintptr_t index) {
  return index < kSeries.size() ? kSeries[index] : -1;
}

CSettingDlg::CSettingDlg(QWidget* owner) : CSkinDialog(owner), ownerWindow_(owner) {
  // A tool window of the main window: it stays above it and goes with it.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBackground);
  pal.setColor(QPalette::WindowText, Qt::white);
  setPalette(pal);
  setAutoFillBackground(true);
}

CSettingDlg::~CSettingDlg() = default;

bool CSettingDlg::OnInitDialog() {
  SetScale(CurrentUiScale());
  SetDesignSize(kSettingDesignSize);
  setFont(SkinAppFont(this));
  setWindowTitle(Text(UiText::SettingsTitle));

  // The group boxes go under the switches, which must take the clicks.
  displayGroup_ = std::make_unique<QGroupBox>(Text(UiText::DisplayGroup), this);
  versionGroup_ = std::make_unique<QGroupBox>(Text(UiText::VersionGroup), this);
  for (int i = 0; i < kDisplayCheckCount; ++i) {
    auto c = std::make_unique<CSkinCheckButton>(this);
    c->setText(Text(kChecks[static_cast<size_t>(i)].label));
    c->setObjectName(QString::number(kFirstDisplayCheckId + i));
    c->SetChecked(true);
    connect(c.get(), &QAbstractButton::clicked, this, [this, id = kFirstDisplayCheckId + i] { OnDisplayCheck(id); });
    checks_[static_cast<size_t>(i)] = std::move(c);
  }
  version_ = std::make_unique<QLabel>(this);
  version_->setObjectName(QString::number(kVersionTextId));
  version_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  version_->setText(QString::fromStdString(BuildVersionText(__DATE__)));

  PlaceBesideOwner();
  PlaceControls();
  CreateCloseButton(kSettingCloseId);
  return true;
}

void CSettingDlg::Relayout() {
  CSkinDialog::Relayout();
  PlaceControls();
}

void CSettingDlg::PlaceControls() {
  const float s = Scale();
  const SettingLayout l = SettingDlgLayout(s);
  const QFont font = SkinAppFont(this);
  setFont(font);
  for (int i = 0; i < kDisplayCheckCount; ++i) {
    CSkinCheckButton* c = checks_[static_cast<size_t>(i)].get();
    if (!c) continue;
    c->LoadCheckImages(kSkinCheck);
    c->setFont(font);
    c->setGeometry(ToQRect(l.checks[static_cast<size_t>(i)]));
    c->show();
    c->update();
  }
  QPalette pal = palette();
  for (QWidget* w : {static_cast<QWidget*>(displayGroup_.get()), static_cast<QWidget*>(versionGroup_.get()),
                     static_cast<QWidget*>(version_.get())}) {
    if (!w) continue;
    w->setFont(font);
    w->setPalette(pal);
  }
  if (displayGroup_) {
    displayGroup_->setGeometry(ToQRect(l.displayGroup));
    displayGroup_->lower();
  }
  if (versionGroup_) {
    versionGroup_->setGeometry(ToQRect(l.versionGroup));
    versionGroup_->lower();
  }
  if (version_) {
    version_->setGeometry(ToQRect(l.versionText));
    // The group box's title line stands taller here than the rectangle
    // allows for: the text starts below the box's frame.
    version_->setContentsMargins(0, T(s, 12), 0, 0);
  }
}

void CSettingDlg::OnScaleChanged() {
  CSkinDialog::OnScaleChanged();
  PlaceControls();
}

void CSettingDlg::PlaceBesideOwner() {
  const float s = Scale();
  const Size size{T(s, kSettingDesignSize.width), T(s, kSettingDesignSize.height)};
  const QPoint corner = ownerWindow_ ? ownerWindow_->window()->geometry().topLeft() : QPoint();
  const MonitorInfo m = CurrentMonitors().Nearest(FromQPoint(corner));
  const Rect r = mainwnd::CentreOnMonitor(m.area, size, FromQPoint(corner));
  setGeometry(ToQRect(r));
  SetDragRect(r);
}

void CSettingDlg::OnDisplayCheck(int id) {
  const int index = id - kFirstDisplayCheckId;
  // The command range is wider than the four switches: the rest is no one's.
  if (index < 0 || index >= kDisplayCheckCount) return;
  CSkinCheckButton* c = checks_[static_cast<size_t>(index)].get();
  if (!c) return;
  const bool on = !c->Checked();
  c->SetChecked(on);
  c->repaint();
  owner_.Post(mainwnd::kMsgDisplaySwitch, static_cast<uintptr_t>(index), on ? 1 : 0);
}

void CSettingDlg::OnCommand(int id) {
  if (id == kSettingCloseId) {
    hide();
    return;
  }
  if (id >= kFirstDisplayCheckId && id <= kLastDisplayCheckId) {
    OnDisplayCheck(id);
    return;
  }
  CSkinDialog::OnCommand(id);
}

CSkinCheckButton* CSettingDlg::Check(int index) const {
  return index >= 0 && index < kDisplayCheckCount ? checks_[static_cast<size_t>(index)].get() : nullptr;
}

bool CSettingDlg::Checked(int index) const {
  const CSkinCheckButton* c = Check(index);
  return c && c->Checked();
}

}  // namespace qv
