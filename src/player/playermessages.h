// The app messages the player layer posts to the windows that show its
// movies (wParam / lParam in the comments).
#pragma once

#include "platform/qt/appmessage.h"

namespace qv {

enum PlayerMessage : uint32_t {
  // To the window that drives a slot's playback.
  kMsgTick = kWmApp + 0x5,       // 0 / tick counter
  kMsgTickLimit = kWmApp + 0x6,  // 0 / tick counter: the pair's playback ends
  // To a video pane.
  kMsgPresenterFrame = kWmApp + 0x3E8,           // 0 / 0: a new frame waits to be painted
  kMsgPlayerPresentationEnded = kWmApp + 0x3EA,  // 0 / 0
  kMsgPlayerTopologyReady = kWmApp + 0x3EB,      // 0 / 0: the movie is ready to play
};

}  // namespace qv
