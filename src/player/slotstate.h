// The states of a player slot, as PlayerApi_GetState reports them.
#pragma once

#include <cstdint>

namespace qv {

// 0 closed, 1 opened (stopped), 2 playing, 3 paused.
enum PlayerSlotState : int32_t { kSlotClosed = 0, kSlotOpened = 1, kSlotPlaying = 2, kSlotPaused = 3 };

}  // namespace qv
