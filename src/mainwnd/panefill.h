// What a video pane shows when it paints: the slot's picture, black, or a
// red notice on black that the other camera's movie is missing.
#pragma once

namespace qv::mainwnd {

enum class PaneFill {
  kPicture,     // the pane's own slot has a movie: its frame (black until one arrives)
  kBlack,
  kNoFrontText,  // UI 170: the front camera's movie is missing
  kNoRearText,   // UI 171: the rear camera's movie is missing
};

struct PaneFillInput {
  int camera = -1;         // 0 front pane, 1 rear pane, -1 not yet given
  bool blackOut = false;   // the owner blacks the pane out (a file operation runs)
  bool frontOpen = false;  // slot 0 holds an opened movie
  bool rearOpen = false;   // slot 1 holds an opened movie
};

PaneFill DecidePaneFill(const PaneFillInput& in);

}  // namespace qv::mainwnd
