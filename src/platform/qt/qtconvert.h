// Conversions between the program's own geometry and colour types and Qt's.
//
// Rect's right and bottom are exclusive; QRect's right() and bottom() are the
// last pixel inside (one less).  Always convert through these functions.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "platform/colorref.h"
#include "platform/rect.h"

namespace qv {

inline QRect ToQRect(const Rect& r) { return QRect(QPoint(r.left, r.top), QSize(r.Width(), r.Height())); }
inline Rect FromQRect(const QRect& r) { return Rect::FromSize(r.x(), r.y(), r.width(), r.height()); }
inline QPoint ToQPoint(Point p) { return QPoint(p.x, p.y); }
inline Point FromQPoint(const QPoint& p) { return Point{p.x(), p.y()}; }
inline QSize ToQSize(Size s) { return QSize(s.width, s.height); }
inline Size FromQSize(const QSize& s) { return Size{s.width(), s.height()}; }

inline QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
inline ColorRef FromQColor(const QColor& c) {
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

}  // namespace qv
