// The zoom command's view arithmetic over a pane's zoom record (the point
// the picture is enlarged about, the shift, the factor; see PlayerApi_Redraw).
#pragma once

#include "platform/rect.h"
#include "player/playerapi.h"

namespace qv {

// The whole picture in a pane of `client` size: factor 1, no shift, the
// point in the pane's centre.
ZoomRecord UnzoomedView(Size client);

// A click at `click` (pane coordinates) in zoom mode: the picture point under
// the click becomes the point the view is enlarged about, one factor step
// more (a factor of 0 counts as 1).  Past a factor of 3 the view goes back to
// the whole picture, so the third click of 1 → 2 → 3 returns to it.  False
// (nothing changed) for a pane without width or height.
bool ZoomAtClick(ZoomRecord& view, Point click, Size client);

// A view carried over to a pane of another size (the camera switch): the
// point and the shift scale with the pane.  A pane of no size on either side
// leaves the view as it was.
void RescaleZoomView(ZoomRecord& view, Size from, Size to);

}  // namespace qv
