// The information panel: a child panel of the main window that shows, for
// the play position, the date and time, the rate text, the speed, the three
// G values with their axis names, the resolution badge, the recording-state
// and position-fix images and the voltage.  Three small toggles under the
// axis names switch the graph's series 0..2 (kMsgInfoToggle to the parent).
//
// The main window writes the values on every tick and repaints; the panel
// reads no drive data.  Two further routines draw the information band onto
// the main window inside its own paint.  Window thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

#include "panels/infopanel.h"
#include "platform/civiltime.h"

class QPainter;

namespace qv {

class CResourceImage;
class CSkinButton;
class COffScreenDC;

class CInfoDlg : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFirstToggleId = 38600;

  explicit CInfoDlg(QWidget* parent = nullptr);
  ~CInfoDlg() override;

  // The image holder (images by id; the skin's own renders without one) and
  // the shared back buffer.
  void SetImages(const CResourceImage* images) { images_ = images; }
  void SetSurface(COffScreenDC* surface) { surface_ = surface; }

  // Values the main window writes.  G values carry "no value" as a flag of
  // their own, so any reading the recorder can write is shown.
  void SetG(double x, double y, double z);
  void ClearG();
  bool HasG() const { return hasG_; }
  void SetFix(int fix) { fix_ = fix; }
  void SetSpeed(double kmh) { speed_ = kmh; }  // -1.0: no value
  void SetRateText(const QString& text) { rateText_ = text; }
  void SetStartTime(const CivilTime& t) { startTime_ = t; }
  void SetResolutionClass(int c) { resolutionClass_ = c; }
  void SetStateLetter(int letter) { stateLetter_ = letter; }
  void SetTimeLapse(int on) { timeLapse_ = on; }
  void SetVoltage(int tenths) { voltage_ = tenths; }  // -1: no value
  void SetCursor(int slot) { cursor_ = slot; }
  void SetHasData(int on) { hasData_ = on; }
  void SetSlotTime(float ms) { slotMs_ = ms; }
  void SetSpeedShown(int on) { speedShown_ = on; }
  void SetFixImageShown(int on) { fixImageShown_ = on; }
  void SetVoltageShown(int first, int second) {
    voltageShown_[0] = first;
    voltageShown_[1] = second;
  }
  // 1.0, or kInfoMaximisedFactor while the main window is maximised.
  void SetHorizontalFactor(float f);
  int Toggle(int index) const { return toggles_[static_cast<size_t>(index)]; }
  int Cursor() const { return cursor_; }

  // No values: speed, G, cursor, state, voltage, badge and fix cleared; repaints now.
  void ResetValues();
  // Paints the panel now (the main window's tick).
  void PaintPanel();
  // The display scale changed: buttons and images follow.
  void OnScaleChanged();

  // The information band along the bottom of the main window's client area,
  // drawn by the main window's paint.
  void DrawBandBackground(QPainter& p, const Rect& mainClient) const;
  void DrawBandInfo(QPainter& p, const Rect& mainClient) const;

  // The date and time text for the current values; empty when none is drawn.
  QString DateTimeText() const;
  // What the band shows (rate, date and time, speed) as one text, so the
  // main window repaints the band only when it changes.
  QString BandText() const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QImage Image(int id) const;
  void DrawPanel(QPainter& p, float s) const;
  bool DrawDateTime(QPainter& p, const Rect& r) const;
  void DrawDatePlaceholder(QPainter& p, const Rect& r, float s) const;
  bool DrawSpeed(QPainter& p, const Rect& r, int gap, int drop, const QFont& unitFont) const;
  void DrawTemplate(QPainter& p, const Rect& r, const char* text, bool right) const;
  void PlaceButtons();
  void OnToggle(int index);

  const CResourceImage* images_ = nullptr;
  COffScreenDC* surface_ = nullptr;
  QImage ownSurface_;
  QImage background_;  // the background at the panel's size, on black
  qint64 backgroundKey_ = 0;
  std::array<std::unique_ptr<CSkinButton>, 3> buttons_;
  std::array<int, 3> toggles_ = {1, 1, 1};

  double g_[3] = {0, 0, 0};
  bool hasG_ = false;
  int fix_ = 0;
  double speed_ = -1.0;
  QString rateText_;
  CivilTime startTime_;
  int resolutionClass_ = 0;
  int stateLetter_ = 77;
  int timeLapse_ = 0;
  int voltage_ = -1;
  int cursor_ = -1;
  int hasData_ = 0;
  float slotMs_ = 0.0f;
  int speedShown_ = 1;
  int fixImageShown_ = 1;
  int voltageShown_[2] = {0, 0};
  float factor_ = 1.0f;
};

}  // namespace qv
