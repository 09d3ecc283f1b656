// The window a player slot's view draws into, as the slot sees it: where its
// messages go and how large its client area is.  VideoPane is the real one.
#pragma once

#include "platform/qt/appmessage.h"
#include "platform/rect.h"

namespace qv {

class SlotWindow {
 public:
  virtual ~SlotWindow() = default;
  // Where the player's ready and ended messages and the repaint requests go.
  virtual AppMessagePort Port() const = 0;
  // Where the tick worker's messages go (the pane's parent).
  virtual AppMessagePort ParentPort() const = 0;
  // The client area's size in the pixels the picture is placed in; an empty
  // size when the window has no area.
  virtual Size ClientSize() const = 0;
};

}  // namespace qv
