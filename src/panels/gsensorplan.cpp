#include "panels/gsensorplan.h"

#include <algorithm>
#include <cmath>

#include "panels/eventmarks.h"
#include "platform/rect.h"
#include "platform/uiscale.h"

namespace qv {

std::array<GSensorSeries, kGraphSeriesCount> DefaultGraphSeries() {
  std::array<GSensorSeries, kGraphSeriesCount> s{};
  s[0].pen = Rgb(0x00, 0xFF, 0x00);
  s[1].pen = Rgb(0xFF, 0x00, 0x00);
  s[2].pen = Rgb(0x80, 0x80, 0xFF);
  return s;
}

int ClassifySample(int series, const SensorSample& x) {
  switch (series) {
    case 0: return x.axis == 1 ? kMarkAcceleration : -1;
    case 1: return x.axis == 2 ? kMarkSteering : -1;
    case 2: return x.axis == 3 ? kMarkDrop : -1;
    case 3: return x.kind == kEventManual ? kMarkManual : -1;
    case 4: return x.kind == kEventEmergencyStop ? kMarkEmergencyStop : -1;
    case 5: return x.kind == kEventParking ? kMarkParking : -1;
    case 6: return x.overSpeed == kEventOverSpeed ? kMarkSpeeding : -1;
    case 7:
      return (x.kind == kEventSteering || x.kind == kEventAcceleration || x.kind == kEventBraking) ? x.kind : -1;
    default: return -1;
  }
}

SlotRecords::SlotRecords(const std::vector<SensorSample>* samples, const std::vector<SensorSample*>* index)
    : samples_(samples), index_(index) {}

long SlotRecords::RecordOf(long slot) const {
  if (!index_ || !samples_ || samples_->empty() || slot < 0 || slot >= SlotCount()) return -1;
  const SensorSample* p = (*index_)[static_cast<size_t>(slot)];
  const SensorSample* first = samples_->data();
  if (p < first || p >= first + samples_->size()) return -1;
  return static_cast<long>(p - first);
}

SlotClass ClassifySlot(const SlotRecords& data, long slot, int series) {
  SlotClass out;
  const long p = data.RecordOf(slot);
  if (p < 0) return out;
  auto kindOf = [&](long r) { return ClassifySample(series, data.Sample(r)); };
  const bool firstSlot = slot == 0 || data.RecordOf(slot - 1) != p;
  const int k = kindOf(p);
  if (k >= 0) {
    out = {k, firstSlot && (p == 0 || kindOf(p - 1) != k), p};
    if (out.runStarts) return out;
  }
  if (!firstSlot) return out;

  // Records between this slot's and the next slot's that no slot holds.
  const long count = data.SlotCount();
  const long samples = data.SampleCount();
  long next = samples;
  if (p + 1 < samples) {
    long u = slot + 1;
    while (u < count && data.RecordOf(u) == p) ++u;
    if (u < count) next = std::min(samples, data.RecordOf(u) < 0 ? p + 1 : data.RecordOf(u));
  }
  for (long q = p + 1; q < next; ++q) {
    const int kq = kindOf(q);
    if (kq < 0) continue;
    if (kindOf(q - 1) != kq) return {kq, true, q};
    if (out.kind < 0) out = {kq, false, q};
  }
  return out;
}

void GraphPlan::Clear() {
  painted = false;
  tiles.clear();
  plotHeight = 0;
  cursorX = 0;
  segments.clear();
  marks.clear();
  band.clear();
}

namespace {

// The drawable width: client width less the margin and trunc(UiScale).
int DrawableWidth(int clientWidth, int margin, float s) { return clientWidth - margin - TruncToInt(s); }

}  // namespace

double GetPixelsPerSlot(int clientWidth, int margin, float s, long slotCount) {
  const int w = DrawableWidth(clientWidth, margin, s);
  if (clientWidth <= 0 || w <= 0 || slotCount <= 0) return 0.0;
  return static_cast<double>(w) / static_cast<double>(slotCount);
}

int PixelsPerG(int plotHeight, int scaleMode) {
  const int mode = std::clamp(scaleMode, 0, 3);
  return (plotHeight - 6) / (mode + 1);
}

const char* ScaleLabel(int scaleMode, bool upper) {
  switch (scaleMode) {
    case 0: return upper ? " 0.5G" : "-0.5G";
    case 2: return upper ? " 1.5G" : "-1.5G";
    case 3: return upper ? "   2G" : "  -2G";
    default: return upper ? "   1G" : "  -1G";
  }
}

int ScaleModeForMaxG(double g) {
  if (g >= 1.5) return 3;
  if (g >= 1.0) return 2;
  if (g >= 0.5) return 1;
  return 0;
}

int MarkLineBottom(int clientHeight, float s) {
  const int top = ScaleInt(15, s);
  const int rowUnit = ScaleInt(35, s);
  const double d = (clientHeight == 0 || rowUnit == 0) ? 0.0 : static_cast<double>(clientHeight - top) / rowUnit;
  return top - TruncToInt(ScaleInt(-35, s) * d);
}

int GlyphRowTop(int plotHeight, float s, float fontScale, int row) {
  return plotHeight - ScaleInt(5, s) + row * (TruncToInt(fontScale * 10.0f) / 6);
}

namespace {

// One paint's walk over the slots (the curve state of the three axes and
// the mark lists of the eight series).
class GraphWalk {
 public:
  GraphWalk(const GraphGeometry& g, const SlotRecords& data, const std::array<GSensorSeries, kGraphSeriesCount>& series,
            GraphPlan& plan)
      : g_(g), data_(data), series_(series), plan_(plan) {}

  void Run() {
    const long n = data_.SlotCount();
    const long samples = data_.SampleCount();
    if (n < 1 || samples < 1 || g_.cursor >= n) return;
    const float s = g_.s;
    width_ = DrawableWidth(g_.clientWidth, g_.margin, s);
    const double ppx = GetPixelsPerSlot(g_.clientWidth, g_.margin, s, n);
    const double step = ppx > 1.0 ? ppx : 1.0;
    perG_ = PixelsPerG(plan_.plotHeight, g_.scaleMode);
    centre_ = plan_.plotHeight / 2;
    limit_ = std::max(0, plan_.plotHeight / 2 - ScaleInt(5, s));
    markBottom_ = MarkLineBottom(g_.clientHeight, s);
    bandHeight_ = ScaleInt(29, s);
    // The drawn window slides with the cursor once slots outnumber pixels.
    const double start = std::max(0.0, (1.0 - ppx / step) * g_.cursor);

    const long firstRecord = data_.RecordOf(static_cast<long>(start));
    if (firstRecord < 0) return;
    for (int a = 0; a < 3; ++a) {
      axes_[a].drawnY = axes_[a].seenY = TruncToInt(perG_ * G(firstRecord, a));
    }
    for (auto& list : lists_) list.clear();

    long previousRecord = -1;
    long lastSlot = -1;
    long lastRecord = -1;
    int previousX = 0;
    const double end = width_ / step;
    for (long i = 0; i < end; ++i) {
      if (i >= n) break;
      const long slot = static_cast<long>(std::trunc(static_cast<double>(i) + start));
      if (slot >= n) break;
      const long r = data_.RecordOf(slot);
      if (r == previousRecord) continue;
      previousRecord = r;
      if (r < 0) break;
      const int x = TruncToInt(static_cast<double>(i) * step);
      if (i > 0) FillSpeedBand(g_.margin + previousX + 1, x - previousX - 1, slot);
      DrawCurves(x, r, false);
      previousX = x;
      lastSlot = slot;
      lastRecord = r;
      AddMarksAt(g_.margin + x, slot);
    }
    if (lastRecord >= 0) {
      DrawCurves(previousX, lastRecord, true);
      const int after = previousX + 1;
      if (step <= 1.0) {
        AddMarksAt(g_.margin + after, lastSlot);
      } else {
        const int whole = TruncToInt(step);
        FillSpeedBand(g_.margin + after, whole + 1, lastSlot);
        AddMarksAt(g_.margin + after + whole + 1, lastSlot);
      }
    }

    // Marks left of the margin or beyond the client's right edge are not drawn.
    for (const auto& list : lists_) {
      for (const auto& m : list) {
        if (m.x >= g_.margin && m.x < g_.clientWidth) plan_.marks.push_back({m.x, markBottom_, m.kind});
      }
    }
  }

 private:
  struct Axis {
    int drawnX = 0, drawnY = 0;
    int seenX = 0, seenY = 0;
    int run = 0;
  };
  struct Pos {
    int x;
    int kind;
  };

  double G(long record, int axis) const {
    const SensorSample& x = data_.Sample(record);
    return axis == 0 ? x.gX : axis == 1 ? x.gY : x.gZ;
  }

  void Segment(int a, int toX, int toY) {
    Axis& ax = axes_[a];
    ax.drawnY = std::clamp(ax.drawnY, -limit_, limit_);
    toY = std::clamp(toY, -limit_, limit_);
    plan_.segments.push_back({a, g_.margin + ax.drawnX, centre_ - ax.drawnY, g_.margin + toX, centre_ - toY});
    ax.drawnX = toX;
    ax.drawnY = toY;
  }

  void DrawCurves(int x, long record, bool final) {
    for (int a = 0; a < 3; ++a) {
      if (!series_[static_cast<size_t>(a)].shown) continue;
      Axis& ax = axes_[a];
      double g = G(record, a);
      if (std::fabs(g) > 2.0) g = std::copysign(2.0, g);
      ++ax.run;
      const int y = TruncToInt(perG_ * g);
      const int toX = final ? width_ : x;
      if (y == ax.drawnY) {
        if (ax.run % 7 != 0 && !final) {
          ax.seenX = x;
          ax.seenY = y;
          continue;
        }
        Segment(a, toX, y);
      } else {
        if (ax.run > 7) Segment(a, ax.seenX, ax.seenY);
        ax.run = 0;
        Segment(a, toX, y);
      }
      ax.seenX = x;
      ax.seenY = ax.drawnY;
    }
  }

  void Band(int x) {
    if (x >= g_.clientWidth) return;
    plan_.band.push_back({x, markBottom_ - bandHeight_, 2, bandHeight_});
  }

  bool Shown(int series) const { return series_[static_cast<size_t>(series)].shown != 0; }

  // True: go on with the next series.
  bool AddMark(int x, long slot, int series) {
    const SlotClass c = ClassifySlot(data_, slot, series);
    if (c.kind < 0) return true;
    const int k = c.kind;
    if ((k == kMarkEmergencyStop && !Shown(4)) || (k == kMarkParking && !Shown(5)) ||
        (k >= kMarkSupportSteering && k <= kMarkSupportBraking && !Shown(7)))
      return false;
    if (k == kMarkSpeeding) {
      if (!Shown(kSeriesSpeeding)) return false;
      if (c.runStarts) lists_[static_cast<size_t>(series)].push_back({x, k});
      Band(x);
      return false;
    }
    if (c.runStarts) lists_[static_cast<size_t>(series)].push_back({x, k});
    return false;
  }

  void AddMarksAt(int x, long slot) {
    if (Shown(kSeriesSpeeding)) AddMark(x, slot, kSeriesSpeeding);
    for (int s = 0; s < kGraphSeriesCount; ++s) {
      if (s == kSeriesSpeeding || !Shown(s)) continue;
      if (!AddMark(x, slot, s)) break;
    }
  }

  // Band columns x .. x + count - 1 between two drawn slots, when `slot`
  // lies inside a speeding run (its start draws its own column).
  void FillSpeedBand(int x, int count, long slot) {
    if (count <= 0 || !Shown(kSeriesSpeeding)) return;
    const SlotClass c = ClassifySlot(data_, slot, kSeriesSpeeding);
    if (c.kind != kMarkSpeeding || c.runStarts) return;
    for (int j = 0; j < count; ++j) Band(x + j);
  }

  const GraphGeometry& g_;
  const SlotRecords& data_;
  const std::array<GSensorSeries, kGraphSeriesCount>& series_;
  GraphPlan& plan_;
  int width_ = 0;
  int perG_ = 0;
  int centre_ = 0;
  int limit_ = 0;
  int markBottom_ = 0;
  int bandHeight_ = 0;
  Axis axes_[3];
  std::array<std::vector<Pos>, kGraphSeriesCount> lists_;
};

}  // namespace

void PlanGraph(const GraphGeometry& g, const SlotRecords& data, const std::array<GSensorSeries, kGraphSeriesCount>& series,
               GraphPlan& plan) {
  plan.Clear();
  const int w = g.clientWidth;
  if (g.tileSpacing <= 0 || w <= 0) return;
  plan.painted = true;

  // Tiles from the right edge leftwards, each on a multiple of 5s, then once at 0.
  const int grid = std::max(1, ScaleInt(5, g.s));
  for (long long i = 0; static_cast<long long>(w) > i * g.tileSpacing; ++i) {
    const int x = static_cast<int>(w - i * g.tileSpacing);
    plan.tiles.push_back(x - x % grid);
  }
  plan.tiles.push_back(0);
  plan.plotHeight = ScaleInt(g.tileHeight, g.s);

  if (g.hasData) GraphWalk(g, data, series, plan).Run();

  const float ratio =
      g.positionRange > 0 ? static_cast<float>(w - g.margin) / static_cast<float>(g.positionRange) : 0.0f;
  plan.cursorX = TruncToInt(static_cast<float>(g.cursor) * ratio) + g.margin;
}

int FindEventAt(const SlotRecords& data, const std::array<GSensorSeries, kGraphSeriesCount>& series,
                std::vector<EventPoint>& list, long slot, int seriesIndex) {
  if (data.SlotCount() < 1) return 0;
  const SlotClass c = ClassifySlot(data, slot, seriesIndex);
  if (c.kind < 0) return 1;
  const int k = c.kind;
  int needs = -1;
  if (k == kMarkEmergencyStop) needs = 4;
  else if (k == kMarkParking) needs = 5;
  else if (k == kMarkSpeeding) needs = 6;
  else if (k >= kMarkSupportSteering && k <= kMarkSupportBraking) needs = 7;
  if (needs >= 0 && !series[static_cast<size_t>(needs)].clickable) return 0;
  if (c.runStarts) list.push_back({c.record, k, seriesIndex, data.Sample(c.record).time, slot});
  return 0;
}

}  // namespace qv
