#include "panels/eventmarks.h"

#include <array>

namespace qv {
namespace {

// Skin image of the drive-support steering glyph.
constexpr int kSteeringGlyphImage = 176;

constexpr std::array<EventMarkInfo, kEventMarkKindCount> kTable = {{
    {kMarkAcceleration, UiText::MarkHardAcceleration, Rgb(0x00, 0xFF, 0x00), "G", 0, 1, 0},
    {kMarkBraking, UiText::MarkHardBraking, Rgb(0x00, 0xFF, 0x00), "G", 0, 1, -1},
    {kMarkSteering, UiText::MarkSharpSteering, Rgb(0xFF, 0x00, 0x00), "G", 0, 0, 1},
    {kMarkDrop, UiText::MarkSuddenDrop, Rgb(0x80, 0x80, 0xFF), "G", 0, 2, 2},
    {kMarkRise, UiText::MarkSuddenRise, Rgb(0x80, 0x80, 0xFF), "G", 0, 2, -1},
    {kMarkManual, UiText::MarkManualRecording, Rgb(0xFF, 0xFF, 0xFF), "M", 0, 3, 3},
    {kMarkEmergencyStop, UiText::MarkEmergencyStop, Rgb(0xFF, 0xFF, 0xFF), "\u203B", 0, 3, 4},
    {kMarkParking, UiText::MarkParking, Rgb(0xFF, 0xFF, 0xFF), "P", 0, 3, 5},
    {kMarkSpeeding, UiText::MarkSpeeding, Rgb(0xFF, 0xFF, 0xFF), "#", 0, 3, 6},
    {kMarkSupportSteering, UiText::MarkSupportSteering, Rgb(0xFF, 0xFF, 0x00), "", kSteeringGlyphImage, 4, 7},
    {kMarkSupportAcceleration, UiText::MarkSupportAcceleration, Rgb(0xFF, 0x00, 0xFF), "\u25B2", 0, 5, 7},
    {kMarkSupportBraking, UiText::MarkSupportBraking, Rgb(0x00, 0xFF, 0xFF), "\u25BC", 0, 6, 7},
}};

}  // namespace

std::span<const EventMarkInfo> EventMarkTable() { return kTable; }

const EventMarkInfo* FindEventMark(int kind) {
  return (kind >= 0 && kind < kEventMarkKindCount) ? &kTable[static_cast<size_t>(kind)] : nullptr;
}

const char* EventMarkName(int kind) {
  const EventMarkInfo* m = FindEventMark(kind);
  return m ? GetUiText(m->name) : "";
}

}  // namespace qv
