// The information panel's texts and element places, as pure functions: the
// date and time at the play position, the speed, the G values and the
// voltage, and where each element stands for a scale and a horizontal factor.
// No GUI library.
#pragma once

#include <optional>
#include <string>

#include "platform/civiltime.h"
#include "platform/rect.h"

namespace qv {

// "%.2fG" of the value truncated toward zero to hundredths.  The value is
// taken back to the integer thousandths the recorder writes and truncated
// there, so 0.29 shows "0.29G" (not 0.28 from 28.999...) and -0.999 "-0.99G".
std::string FormatGValue(double g);

// The speed is drawn when it lies in 0..999 km/h and the position has a fix.
bool SpeedShown(double speed, int fix);
// "%.0f " of the speed.
std::string FormatSpeed(double speed);
// "%.1f" of tenths of a volt.
std::string FormatVoltage(int tenths);

// The clock at a play position: the recording's start plus cursor × slot
// time (× 15 in a time-lapse recording), the product in double precision
// rounded to whole milliseconds and added as 64-bit integers.  Nothing
// without data, before the first slot or when the start time is all zero.
std::optional<CivilTime> PanelTimeAt(const CivilTime& start, int cursor, float slotMs, bool timeLapse, bool hasData);
// "yyyy/MM/dd hh:mm:ss"; a year of 2050 or later is shown 35 less.
std::string FormatPanelDateTime(const CivilTime& t);

// Placeholder templates: only the characters after runs of '-' and '0' are drawn.
inline constexpr char kGTemplate[] = "-0.00G";
inline constexpr char kDateTemplate[] = "0000/00/00 00:00:00";
inline bool TemplateCharDrawn(char c) { return c != '-' && c != '0'; }

// The information band in the main window's client area `client`: from
// t(545) to the right edge, from t(28) above the bottom edge to t(2) below it.
Rect InfoBandRect(const Rect& client, float s);

// The maximised window's horizontal factor.
constexpr float kInfoMaximisedFactor = 1.15f;

// Places of the panel's elements at scale s and horizontal factor f; every
// product is truncated when it is formed (26s·f is trunc(trunc(26 s) f)).
struct InfoLayout {
  Rect axisNames[3];
  Rect gValues[3];
  Rect dateTime;
  Rect rateText;
  Rect voltage;
  Rect speed;
  Rect badge;
  Point stateImage;  // top left; the image is centred on stateCentreX
  int stateCentreX = 0;
  Point fixImage;
  int fixCentreX = 0;
  Rect fixOff;       // "OFF" when the fix image is switched off
  Rect buttons[3];
};
InfoLayout ComputeInfoLayout(float s, float f);

}  // namespace qv
