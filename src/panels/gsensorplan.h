// What the G-sensor graph draws, as a pure plan: background tiles, the three
// curves, the event marks, the speeding band and the cursor, computed from
// the sensor samples and the time index of the data slot.  The panel makes the
// plan while it holds the player's locks and paints it after they are
// released; nothing here keeps a pointer into the samples.  No GUI library.
//
// Coordinates are pixels of the panel's client area; x counts from the left
// edge (margin included), y from the top.  Positive G is drawn upward.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "platform/colorref.h"
#include "recording/drivedata.h"

namespace qv {

constexpr int kGraphSeriesCount = 8;
// Series: 0 X curve, 1 Y curve, 2 Z curve, 3 manual, 4 emergency stop,
// 5 parking, 6 speeding (with the band), 7 drive support.
constexpr int kSeriesSpeeding = 6;

struct GSensorSeries {
  int shown = 1;
  int clickable = 1;
  ColorRef pen = 0;     // colour of the curve (series 0 to 2)
  double threshold = 0; // the drive-data head's value for the series; kept, not drawn
};

// The eight series with their curve colours, all shown and clickable.
std::array<GSensorSeries, kGraphSeriesCount> DefaultGraphSeries();

// The series' classifier: the event-mark kind a sample stands for, or -1.
// The axis codes map 1 to kind 0 (series 0), 2 to kind 2 and 3 to kind 3.
int ClassifySample(int series, const SensorSample& sample);

// The samples as the graph reads them: the sensor samples and the time index
// (one sample per slot).  Both may be null.
class SlotRecords {
 public:
  SlotRecords() = default;
  SlotRecords(const std::vector<SensorSample>* samples, const std::vector<SensorSample*>* index);

  long SlotCount() const { return index_ ? static_cast<long>(index_->size()) : 0; }
  long SampleCount() const { return samples_ ? static_cast<long>(samples_->size()) : 0; }
  // Place in the sample vector of the slot's sample; -1 when the slot lies
  // outside the index or its entry does not point into the vector.
  long RecordOf(long slot) const;
  const SensorSample& Sample(long record) const { return (*samples_)[static_cast<size_t>(record)]; }

 private:
  const std::vector<SensorSample>* samples_ = nullptr;
  const std::vector<SensorSample*>* index_ = nullptr;
};

// A slot as one series sees it.  A run starts where the kind differs from
// the one of the record before.  Records the time index skips (two records
// per slot, or the last record) count at the last slot holding the record
// before them, so that their events are not lost.
struct SlotClass {
  int kind = -1;
  bool runStarts = false;
  long record = -1;  // the record the kind came from
};
SlotClass ClassifySlot(const SlotRecords& data, long slot, int series);

// What the graph's owner has set.
struct GraphGeometry {
  int clientWidth = 0;
  int clientHeight = 0;
  int margin = 0;
  int positionRange = 0;
  int cursor = 0;
  int tileSpacing = 0;
  int scaleMode = 1;
  int hasData = 0;
  float s = 1.0f;          // UiScale
  int tileWidth = 656;     // background tile, design pixels
  int tileHeight = 142;
};

struct GraphSegment {
  int axis;
  int x0, y0, x1, y1;
};
struct GraphMark {
  int x;
  int y;  // the line runs from y up to 0
  int kind;
};
struct GraphBandColumn {
  int x, y, width, height;
};

struct GraphPlan {
  bool painted = false;     // false: the panel paints nothing
  std::vector<int> tiles;   // left edges of the background tiles, in drawing order
  int plotHeight = 0;
  int cursorX = 0;
  std::vector<GraphSegment> segments;
  std::vector<GraphMark> marks;  // in drawing order: by series, then as found
  std::vector<GraphBandColumn> band;
  void Clear();
};

// Width of the drawable part divided by the slot count, 0.0 without slots
// or width.
double GetPixelsPerSlot(int clientWidth, int margin, float s, long slotCount);
// Pixels per G of a plot this high at a scale mode (0..3; others as 1).
int PixelsPerG(int plotHeight, int scaleMode);
// The upper and lower G labels of a scale mode ("   1G" / "  -1G" ...).
const char* ScaleLabel(int scaleMode, bool upper);
// The scale mode for the largest |G| of a pair.
int ScaleModeForMaxG(double maxAbsG);
// Where the mark lines end at the bottom; the band's top is 29s above it.
int MarkLineBottom(int clientHeight, float s);
// Top of a glyph row below the plot.
int GlyphRowTop(int plotHeight, float s, float fontScale, int row);

// Fills `plan` (its vectors are reused).  `series` gives shown flags.
void PlanGraph(const GraphGeometry& g, const SlotRecords& data, const std::array<GSensorSeries, kGraphSeriesCount>& series,
               GraphPlan& plan);

// One event found for the next/previous search and the map.
struct EventPoint {
  long record = -1;   // place in the sample vector
  int kind = -1;
  int series = -1;
  int position = 0;   // the sample's time-slot number
  long slot = -1;     // the slot it was found at
};

// Examines `slot` for `series`: 1 when the classifier gives no kind there;
// 0 otherwise, after appending a point when a run starts at the slot and
// the kind's series (4, 5, 6 or 7 for kinds 6, 7, 8, 9..11) is clickable.
int FindEventAt(const SlotRecords& data, const std::array<GSensorSeries, kGraphSeriesCount>& series,
                std::vector<EventPoint>& list, long slot, int seriesIndex);

}  // namespace qv
