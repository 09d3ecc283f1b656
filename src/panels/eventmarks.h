// The one table of event-mark kinds: the number 0..11 that names an event in
// a recording's drive data selects its name, its colour, its glyph and row in
// the G-sensor graph, and the graph series that finds it.  The map page takes
// the names and the numbers from here too.  Pure data, no GUI library.
#pragma once

#include <span>

#include "platform/colorref.h"
#include "uitext/uitext.h"

namespace qv {

enum EventMarkKind : int {
  kMarkAcceleration = 0,
  kMarkBraking = 1,
  kMarkSteering = 2,
  kMarkDrop = 3,
  kMarkRise = 4,
  kMarkManual = 5,
  kMarkEmergencyStop = 6,
  kMarkParking = 7,
  kMarkSpeeding = 8,
  kMarkSupportSteering = 9,
  kMarkSupportAcceleration = 10,
  kMarkSupportBraking = 11,
};
constexpr int kEventMarkKindCount = 12;

struct EventMarkInfo {
  int kind;
  UiText name;
  ColorRef colour;    // of the mark's line in the graph
  const char* glyph;  // UTF-8, drawn in white; empty when the glyph is an image
  int glyphImage;     // skin image drawn instead of a text glyph, else 0
  int row;            // glyph row below the plot
  int series;         // graph series that finds the kind, -1 for none
};

// Kinds 0 to 11 in order.
std::span<const EventMarkInfo> EventMarkTable();
// The kind's row, or null outside 0..11.
const EventMarkInfo* FindEventMark(int kind);
// The kind's name in the current language; "" outside 0..11.
const char* EventMarkName(int kind);

}  // namespace qv
