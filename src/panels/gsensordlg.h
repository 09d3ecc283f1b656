// The G-sensor graph: a child panel of the main window that draws the three
// G curves of the playing pair, the event marks, the speeding band, the G
// scale and a white cursor at the play position.  A left-button release asks
// the main window for the previous event mark, a right-button release for
// the next one (kMsgGraphPreviousEvent / kMsgGraphNextEvent).
//
// The panel owns no data: each paint takes the data slot's samples through a
// DriveDataView, makes the drawing plan (gsensorplan.h) under its locks and
// paints the plan after they are released.  Window thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "panels/gsensorplan.h"

namespace qv {

class COffScreenDC;

class CGSensorDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CGSensorDlg(QWidget* parent = nullptr);
  ~CGSensorDlg() override;

  // Fields the main window sets.
  void SetScaleMode(int mode) { geometry_.scaleMode = mode; }
  void SetMargin(int margin) { geometry_.margin = margin; }
  void SetPositionRange(int range) { geometry_.positionRange = range; }
  void SetCursor(int slot) { geometry_.cursor = slot; }
  void SetTileSpacing(int spacing) { geometry_.tileSpacing = spacing; }
  void SetHasData(int on) { geometry_.hasData = on; }
  int ScaleMode() const { return geometry_.scaleMode; }
  int Cursor() const { return geometry_.cursor; }
  GSensorSeries& Series(int index) { return series_[static_cast<size_t>(index)]; }
  const std::array<GSensorSeries, kGraphSeriesCount>& AllSeries() const { return series_; }
  // The shared back buffer to draw into (the panel keeps its own without one).
  void SetSurface(COffScreenDC* surface) { surface_ = surface; }
  // The display scale changed: the scaled images are made again.
  void OnScaleChanged();

  // The tile spacing the main window gives for a margin at the current scale.
  static int TileSpacingFor(int margin);

  // Pixels per time slot at the panel's width (takes the player's locks).
  double GetPixelsPerSlot();
  // Examines one slot for one series (gsensorplan.h), taking the locks; a
  // caller that walks every slot holds a DriveDataView itself and uses the
  // pure FindEventAt with SlotRecords(view.Sensors(), view.TimeIndex()).
  int FindEventAt(std::vector<EventPoint>& list, long slot, int series);

  // Where the samples come from: by default the player's data slot under a
  // DriveDataView; tests and tools hand their own.  The source calls the
  // visitor once, with the samples valid only during the call.
  using SampleSource = std::function<void(const std::function<void(const SlotRecords&)>&)>;
  void SetSampleSource(SampleSource source) { source_ = std::move(source); }

  // The plan of the last paint.
  const GraphPlan& LastPlan() const { return plan_; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void Visit(const std::function<void(const SlotRecords&)>& visit) const;
  QImage& Surface(int width, int height);
  void PaintPlan(QImage& surface, float s);

  GraphGeometry geometry_;
  std::array<GSensorSeries, kGraphSeriesCount> series_;
  GraphPlan plan_;
  COffScreenDC* surface_ = nullptr;
  QImage ownSurface_;
  QImage tile_;        // background tile at the current scale
  QImage steering_;    // the drive-support steering glyph at the current scale
  float imageScale_ = 0.0f;
  SampleSource source_;
};

}  // namespace qv
