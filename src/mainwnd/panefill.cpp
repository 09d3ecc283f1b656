#include "mainwnd/panefill.h"

namespace qv::mainwnd {

PaneFill DecidePaneFill(const PaneFillInput& in) {
  if (in.blackOut) return PaneFill::kBlack;
  const bool ownOpen = (in.camera == 0 && in.frontOpen) || (in.camera == 1 && in.rearOpen);
  if (ownOpen) return PaneFill::kPicture;
  if (in.camera == 1 && in.frontOpen) return PaneFill::kNoRearText;
  if (in.camera == 0 && in.rearOpen) return PaneFill::kNoFrontText;
  return PaneFill::kBlack;
}

}  // namespace qv::mainwnd
