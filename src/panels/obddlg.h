// The gauge window: a small translucent pop-up with three round gauges side
// by side, each with a combo box (ids 1003, 1004, 1005) that chooses one of
// five vehicle items.  A 50 ms timer per gauge (1000 + gauge) swings the
// needle in steps to the item's value.  The combo boxes are disabled while
// the player plays.  Nothing in the program supplies vehicle values yet: they
// stay 0 until SetItemValue is called.  Window thread only.
#pragma once

#include <QComboBox>
#include <QImage>

#include <array>
#include <functional>
#include <memory>

#include "panels/obdgauge.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/wintimer.h"
#include "skin/skindialog.h"

namespace qv {

class CResourceImage;

class CObdDlg : public CSkinDialog {
  Q_OBJECT
 public:
  static constexpr int kFirstComboId = 1003;
  static constexpr int kFirstTimerId = 1000;
  static constexpr int kTimerMs = 50;

  // `clock` replaces the real timers (tests); not owned.
  explicit CObdDlg(QWidget* parent = nullptr, TimerClock* clock = nullptr);
  ~CObdDlg() override;

  void SetImages(const CResourceImage* images) { images_ = images; }
  // Where kMsgGaugeWindowGone goes when the window is destroyed.
  void SetOwnerPort(AppMessagePort port) { owner_ = std::move(port); }
  // The player's state (2 = playing); PlayerApi_GetState(2) by default.
  void SetStateSource(std::function<int()> source) { state_ = std::move(source); }

  // Vehicle values by item (clamped when used).
  void SetItemValue(int item, int value);
  // The item's value; 5 for an item above 4 and 0 for none.
  int GetItemValue(int item) const;

  QComboBox* Combo(int gauge) const { return combos_[static_cast<size_t>(gauge)].get(); }
  int Item(int gauge) const { return items_[static_cast<size_t>(gauge)]; }
  const NeedleRecord& Needle(int gauge) const { return needles_[static_cast<size_t>(gauge)]; }
  // The gauges' top: below the caption strip.
  int GaugeTop() const;

  void OnSelChangeItem(int gauge);
  void OnTimer(int id);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void OnScaleChanged() override;

 private:
  bool Playing() const;
  void PlaceControls();
  void DrawGauge(QPainter& p, int gauge, const Rect& r, int value);

  const CResourceImage* images_ = nullptr;
  AppMessagePort owner_;
  std::function<int()> state_;
  std::array<int, kObdItemCount> values_ = {};
  std::array<int, kObdGaugeCount> items_ = {-1, -1, -1};
  std::array<NeedleRecord, kObdGaugeCount> needles_;
  std::array<std::unique_ptr<QComboBox>, kObdGaugeCount> combos_;
  WindowTimers timers_;
  QImage maskedNeedle_;  // the needle through its mask
  qint64 needleKey_ = 0;  // the needle image it was made from
};

}  // namespace qv
