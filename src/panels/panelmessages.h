// Messages the panels post to the main window, named beside their senders
// (the main window's table in mainwnd/mainmessages.h lists the same numbers).
#pragma once

#include <cstdint>

namespace qv {

// G-sensor graph: a left-button release asks for the previous event mark, a
// right-button release for the next (0 / 0).
constexpr uint32_t kMsgGraphPreviousEvent = 0x8000 + 0x191;
constexpr uint32_t kMsgGraphNextEvent = 0x8000 + 0x192;
// Information panel: one of its three toggles changed (index 0..2 / new state).
constexpr uint32_t kMsgInfoToggle = 0x8000 + 0x2BD;
// Gauge window: it is going away (0 / 0).
constexpr uint32_t kMsgGaugeWindowGone = 0x8000 + 0x708;

}  // namespace qv
