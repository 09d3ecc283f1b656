// Ids of the skin images the toolkit itself draws.  The images are listed,
// with their sizes and roles, in resources/skin/manifest.txt.
#pragma once

#include <vector>

namespace qv {

// Four-cell strips.
constexpr int kSkinCaptionClose = 352;  // close button of skinned dialogs
constexpr int kSkinCheck = 217;         // check images: unchecked, under the cursor, checked, disabled
constexpr int kSkinChoice = 327;        // choice (radio) images of the source dialog
constexpr int kSkinPlay = 148;          // play button
constexpr int kSkinPause = 147;         // play button while playing
// Sliders: played part, rest, thumb, thumb while dragging.
constexpr int kSkinPositionSlider[4] = {174, 159, 160, 161};
constexpr int kSkinVolumeSlider[4] = {167, 168, 169, 170};
// Logo in place of the map: frame flag 1 and frame flag 0.
constexpr int kSkinLogo = 164;
constexpr int kSkinLogoOffline = 324;
// Application icon and the zoom mode's hand cursor.
constexpr int kSkinAppIcon = 128;
constexpr int kSkinHandCursor = 191;

// Every id above, for the test that checks them against the manifest.
inline std::vector<int> AllSkinIds() {
  std::vector<int> ids = {kSkinCaptionClose, kSkinCheck, kSkinChoice,    kSkinPlay,     kSkinPause,
                          kSkinLogo,         kSkinLogoOffline, kSkinAppIcon, kSkinHandCursor};
  for (int id : kSkinPositionSlider) ids.push_back(id);
  for (int id : kSkinVolumeSlider) ids.push_back(id);
  return ids;
}

}  // namespace qv
