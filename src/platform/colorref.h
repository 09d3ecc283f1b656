// Colours as the drawing code keeps them: 0x00BBGGRR (red in the low byte).
//
// Every colour constant of the windows is written in this form; the Qt side
// turns it into a QColor in one place (platform/qt/qtconvert.h).
#pragma once

#include <cstdint>

namespace qv {

using ColorRef = uint32_t;

constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) | (static_cast<ColorRef>(b) << 16);
}
constexpr uint8_t RedOf(ColorRef c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GreenOf(ColorRef c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t BlueOf(ColorRef c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

}  // namespace qv
