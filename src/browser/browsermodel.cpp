#include "browser/browsermodel.h"

#include <algorithm>
#include <cctype>

#include "platform/uiscale.h"
#include "recording/recordingname.h"

namespace qv {

namespace {

uint64_t CountedSize(uint64_t size) { return size == ~uint64_t{0} ? 0 : size; }

}  // namespace

float BrowserScale() { return UiScale > 0 ? UiScale : 1.0f; }

FilerPlaces LayoutFiler(int layout, Size client, float s, int f) {
  auto k = [s](int n) { return ScaleInt(n, s); };
  FilerPlaces p;
  const int W = client.width, H = client.height;
  Point origin;
  if (layout == 0) {
    p.tree = Rect::FromSize(k(4), 2 * k(4) + k(18), k(5) + k(216) - 2 * k(4), H - 3 * k(4) - k(18));
    p.list = Rect::FromSize(k(4) + k(216), 2 * k(4) + k(18), k(440) + 2 * k(6) - 2 * k(4) - k(216),
                            H - 3 * k(4) - k(18));
    p.pathEdit = Rect::FromSize(k(4), k(4) + 1, k(440) + 2 * k(6) - k(70), f + k(7));
    origin = {k(15), k(18) - k(10)};
    const int steps[4] = {k(55), k(55), k(92), k(55)};
    int dx = 0;
    for (int i = 0; i < kFilterCount; ++i) {
      p.buttons[i] = Rect::FromSize(origin.x + dx - k(8), origin.y, k(12), k(12));
      p.captions[i] = Rect::FromSize(origin.x + dx + k(5), origin.y - k(3), k(80), k(16));
      if (i < 4) dx += steps[i];
    }
  } else if (layout == 1) {
    p.tree = Rect::FromSize(k(4), k(40) - k(20) + k(4), W - 2 * k(4), k(300) + 2 * k(6) - k(16) - 3 * k(4));
    p.list = Rect::FromSize(k(4), k(300) + 2 * k(6) + k(40) + k(4), W - 2 * k(4),
                            H - k(300) - 2 * k(6) - 2 * k(4) - k(40));
    p.pathEdit = Rect::FromSize(k(4), k(40) - k(20) - (f + k(7)), W - 2 * k(4), f + k(7));
    origin = {k(5), k(40) + 2 * k(6) + k(300) - k(36) - k(4)};
    const Point at[kFilterCount] = {{0, 0}, {k(82), 0}, {k(82) + k(70), 0}, {0, k(14)}, {k(82), k(14)}};
    for (int i = 0; i < kFilterCount; ++i) {
      p.buttons[i] = Rect::FromSize(origin.x + at[i].x, origin.y + at[i].y, k(12), k(12));
      p.captions[i] = Rect::FromSize(origin.x + at[i].x + k(13), origin.y + at[i].y - k(3), k(80), k(16));
    }
  }
  return p;
}

Rect ItemCountRect(int layout, Size client, float s, int f) {
  auto k = [s](int n) { return ScaleInt(n, s); };
  const int W = client.width;
  if (layout == 0) return Rect(W - k(60) - k(5), k(5), W - k(5), k(5) + k(7) + f);
  if (layout == 1) return Rect(W - k(60) - k(10), k(4), W - k(10), k(4) + k(7) + f);
  return Rect();
}

SourceChoice DecideInitialSource(const std::vector<std::string>& removableMounts, const std::string& folderSetting,
                                 const std::string& fileSetting, const std::function<bool(const std::string&)>& exists) {
  for (auto it = removableMounts.rbegin(); it != removableMounts.rend(); ++it)
    if (!it->empty() && exists(*it)) return {*it, SourceMode::kDrive};
  if (!folderSetting.empty() && exists(folderSetting)) return {folderSetting, SourceMode::kFolder};
  if (!fileSetting.empty() && exists(fileSetting) && IsRecordingFileName(fileSetting))
    return {fileSetting, SourceMode::kFile};
  return {};
}

RowColors ListRowColors(bool current, char32_t trigger) {
  const bool shock = trigger == U'G' || trigger == U'S';
  if (current) return {shock ? ColorRef{0x8EB2B2} : ColorRef{0xB2B2B2}, 0x000000, true};
  if (shock) return {0xCCFFFF, 0x000000, false};
  return {kListBackground, 0xFFFFFF, false};
}

std::string ListRowText(const RecordingEntry& e) {
  return GetPairStem(e.frontName.empty() ? e.rearName : e.frontName);
}

char32_t ListRowTrigger(const RecordingEntry& e) {
  return RecordingNameChar(e.frontName.empty() ? e.rearName : e.frontName, 10);
}

std::vector<int> BadgeLayers(uint32_t v) {
  std::vector<int> layers = {kBadgeBase};
  const std::pair<uint32_t, int> overlays[] = {{0x02, 316}, {0x04, 315}, {0x10, 317},
                                               {0x08, 318}, {0x20, 346}, {0x40, 369}};
  for (const auto& [bit, id] : overlays)
    if (v & bit) layers.push_back(id);
  return layers;
}

void FileSelectModel::SetRows(std::vector<RecordingEntry> rows) {
  rows_ = std::move(rows);
  ticks_.assign(rows_.size(), false);
}

void FileSelectModel::TickAll() { std::fill(ticks_.begin(), ticks_.end(), true); }

void FileSelectModel::Tick(int r, bool t) {
  const int n = static_cast<int>(ticks_.size());
  if (r < 0 || r >= n) return;
  auto set = [this](int i, bool on) { ticks_[static_cast<size_t>(i)] = on; };
  int first = -1;
  for (int i = 0; i < n && first < 0; ++i)
    if (ticks_[static_cast<size_t>(i)]) first = i;
  if (mode_ != kJoin || first < 0) {
    set(r, t);
    return;
  }
  int end = first;
  while (end < n && ticks_[static_cast<size_t>(end)]) ++end;
  if (r < first) {
    for (int i = first - 1; i >= r; --i) set(i, t);
    if (!t)
      for (int i = 0; i < r; ++i) set(i, false);
  } else if (r < end) {
    if (r == first)
      set(r, t);
    else
      for (int i = r; i < end; ++i) set(i, t);
  } else {
    for (int i = end; i <= r; ++i) set(i, t);
    if (!t)
      for (int i = r; i < n; ++i) set(i, false);
  }
}

FileSelectModel::Totals FileSelectModel::ComputeTotals() const {
  Totals t;
  int ticked = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (!ticks_[i]) continue;
    ++ticked;
    const uint64_t front = CountedSize(rows_[i].frontSize), rear = CountedSize(rows_[i].rearSize);
    if (front) {
      t.frontBytes += front;
      ++t.frontCount;
    }
    if (rear) {
      t.rearBytes += rear;
      ++t.rearCount;
    }
  }
  if (mode_ == kJoin) {
    t.frontOver = (t.frontBytes >> 20) > kJoinMaxMegabytes;
    t.rearOver = (t.rearBytes >> 20) > kJoinMaxMegabytes;
    t.frontTooMany = t.frontCount > kJoinMaxFiles;
    t.rearTooMany = t.rearCount > kJoinMaxFiles;
    t.okEnabled = t.frontCount >= 2 || t.rearCount >= 2;
  } else {
    // A recording whose movie index cannot be read has no size, and is the
    // one most worth deleting: any ticked row may be deleted.
    t.okEnabled = ticked > 0;
  }
  return t;
}

std::vector<RecordingEntry> FileSelectModel::TickedRows() const {
  std::vector<RecordingEntry> out;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (ticks_[i]) out.push_back(rows_[i]);
  return out;
}

bool JoinableRow(const RecordingEntry& e) {
  const std::string& path = e.frontPath.empty() ? e.rearPath : e.frontPath;
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext.find(".MP4") != std::string::npos;
}

}  // namespace qv
