// The recording browser's rules without widgets: the panel's geometry, the
// choice of the source at start-up, the list's row colours, the folder
// badge's layers, the source dialog's OK rule and the selection dialog's
// ticks, block rule and totals.  The windows only ask these and paint.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/colorref.h"
#include "platform/rect.h"
#include "recording/recordingentry.h"

namespace qv {

// UiScale, or 1 before the fonts (and with them the scale) exist.
float BrowserScale();

// ---- browsing panel ----

constexpr int kFilterCount = 5;  // A, G, M, P, S

struct FilerPlaces {
  Rect tree, list, pathEdit;
  Rect buttons[kFilterCount];
  Rect captions[kFilterCount];
};
// The children's places for layout 0 (side by side) or 1 (stacked) in a
// client area of `client` at scale s; f is the text height of the panel's
// font.  Any other layout gives empty places.
FilerPlaces LayoutFiler(int layout, Size client, float s, int f);
// Where the item count is drawn; empty for another layout.
Rect ItemCountRect(int layout, Size client, float s, int f);

// What the panel opens at start-up.
enum class SourceMode : int { kNone = 0, kDrive = 1, kFolder = 2, kFile = 3 };
struct SourceChoice {
  std::string path;
  SourceMode mode = SourceMode::kNone;
};
// The last removable mount that exists, else the remembered folder when it
// exists, else the remembered file when it exists and has a recording name.
SourceChoice DecideInitialSource(const std::vector<std::string>& removableMounts, const std::string& folderSetting,
                                 const std::string& fileSetting, const std::function<bool(const std::string&)>& exists);

// ---- recording list ----

struct RowColors {
  ColorRef fill;
  ColorRef text;
  bool fillFromLeft;  // the current row is filled from x = 0
};
constexpr ColorRef kListBackground = 0x151823;
constexpr ColorRef kListFrame = 0x888888;
// Colours of a row by whether it is the current row and its trigger letter.
RowColors ListRowColors(bool current, char32_t trigger);
// The text of a row: the stem of the front name, else of the rear name.
std::string ListRowText(const RecordingEntry& e);
// The trigger letter of a row (character 10 of its file name).
char32_t ListRowTrigger(const RecordingEntry& e);

// ---- folder tree ----

constexpr int kBadgeBase = 319;
// The skin images of the badge for trigger flags v, bottom first.
std::vector<int> BadgeLayers(uint32_t v);

// ---- selection dialog ----

constexpr int kSelectMaxRows = 1500;
constexpr uint64_t kJoinMaxMegabytes = 1024;
constexpr int kJoinMaxFiles = 100;

// The ticks and totals of the selection dialog (mode 0 delete, 2 join).
class FileSelectModel {
 public:
  enum Mode { kDelete = 0, kJoin = 2 };
  void SetRows(std::vector<RecordingEntry> rows);
  void SetMode(int mode) { mode_ = mode; }
  int Mode() const { return mode_; }
  const std::vector<RecordingEntry>& Rows() const { return rows_; }
  bool Ticked(int row) const { return row >= 0 && row < static_cast<int>(ticks_.size()) && ticks_[static_cast<size_t>(row)]; }
  // The user's tick or untick of a row; in join mode the block rule keeps
  // the ticked rows one block.
  void Tick(int row, bool on);
  void TickAll();

  struct Totals {
    uint64_t frontBytes = 0, rearBytes = 0;
    int frontCount = 0, rearCount = 0;
    bool frontOver = false, rearOver = false;            // above 1024 MB (join)
    bool frontTooMany = false, rearTooMany = false;      // above 100 files (join)
    bool okEnabled = false;
  };
  Totals ComputeTotals() const;
  // The ticked rows in list order.
  std::vector<RecordingEntry> TickedRows() const;

 private:
  std::vector<RecordingEntry> rows_;
  std::vector<bool> ticks_;
  int mode_ = kDelete;
};

// Rows a join may take: those whose key path has an ".MP4" extension (any case).
bool JoinableRow(const RecordingEntry& e);

}  // namespace qv
