#include "player/playerapi.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <condition_variable>
#include <thread>

#include "player/player.h"
#include "player/playerslot.h"
#include "player/slotrules.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

PlayerSlot g_slots[2];
PlayerSlotTable g_tables[2];

std::mutex g_trackMutex;
std::unique_ptr<std::vector<GpsSample>> g_track;

std::mutex g_sinkMutex;
PlayerErrorSink g_sink;

int Empty(PlayerSlot*) { return 0; }
int64_t Zero(PlayerSlot*) { return 0; }

bool Ready(int i) { return g_slots[i].initialised != 0; }
int DataSlot() { return g_slots[0].dataReady ? 0 : 1; }
bool ValidSelector(int s) { return s == 0 || s == 1; }

// The frame-time scale of each slot: the rear lands on the front's time.
void SlotScales(float scale[2]) {
  scale[0] = scale[1] = 1.0f;
  if (g_slots[0].opened && g_slots[1].opened && g_tables[0].getViewFactor && g_tables[1].getViewFactor) {
    const float front = g_tables[0].getViewFactor(&g_slots[0], 0);
    const float rear = g_tables[1].getViewFactor(&g_slots[1], 0);
    if (rear > 0.0f && front > 0.0f) scale[1] = front / rear;
  }
}

int64_t Scaled(int32_t position, float scale) { return static_cast<int64_t>(static_cast<float>(position) * scale); }

// Calls `call` (slot index -> result) on the chosen slot, or on each slot for
// any other selector, skipping slots not initialised; 1 when any call
// answered non-zero.
template <class F>
int ForChosen(int selector, F call) {
  int any = 0;
  for (int i = 0; i < 2; ++i) {
    if ((ValidSelector(selector) && selector != i) || !Ready(i)) continue;
    if (call(i)) any = 1;
  }
  return any;
}

// Close and FreeDriveData: the entry on each slot, then the pair is gone.
int EndPair(int (*PlayerSlotTable::*entry)(PlayerSlot*)) {
  return ForChosen(2, [entry](int i) {
    const int r = g_tables[i].*entry ? (g_tables[i].*entry)(&g_slots[i]) : 0;
    g_slots[i].dataReady = 0;
    g_slots[i].opened = 0;
    return r;
  });
}

}  // namespace

void PlayerSlotTable_Fill(PlayerSlotTable* t) {
  *t = PlayerSlotTable{};
  t->init = PlayerSlot_Init;
  t->release = PlayerSlot_Release;
  t->checkFile = PlayerSlot_CheckFile;
  t->setWindows = PlayerSlot_SetWindows;
  t->open = PlayerSlot_Open;
  t->close = PlayerSlot_Close;
  t->loadDriveData = PlayerSlot_LoadDriveData;
  t->freeDriveData = PlayerSlot_FreeDriveData;
  t->play = PlayerSlot_Play;
  t->seekPlaying = PlayerSlot_SeekPlaying;
  t->pause = PlayerSlot_Pause;
  t->stop = PlayerSlot_Stop;
  t->getPosition = PlayerSlot_GetPosition;
  t->seekTo = PlayerSlot_SeekTo;
  t->seekAlt = PlayerSlot_SeekTo;
  t->setFlag = PlayerSlot_SetFlag;
  t->empty16 = Empty;
  t->setHardwareDecode = PlayerSlot_SetHardwareDecode;
  t->empty18 = Empty;
  t->setRate = PlayerSlot_SetRate;
  t->startTickWorker = PlayerSlot_StartTickWorker;
  t->setAspectMode = PlayerSlot_SetAspectMode;
  t->getDuration = PlayerSlot_GetDuration;
  t->getDuration2 = PlayerSlot_GetDuration;
  t->constant24 = Zero;
  t->getViewFactor = PlayerSlot_GetViewFactor;
  t->getVideoSize = PlayerSlot_GetVideoSize;
  t->setVolume = PlayerSlot_SetVolume;
  t->drawOsd = PlayerSlot_DrawOsd;
  t->redrawOsd = PlayerSlot_RedrawOsd;
  t->setVideoRect = PlayerSlot_SetVideoRect;
  t->setZoom = PlayerSlot_SetZoom;
  t->setMirror = PlayerSlot_SetMirror;
  t->saveSnapshot = PlayerSlot_SaveSnapshot;
  t->refreshFrame = PlayerSlot_RefreshFrame;
  t->redrawView = PlayerSlot_RedrawView;
}

PlayerSlot& PlayerApi_Slot(int index) { return g_slots[index == 1 ? 1 : 0]; }
PlayerSlotTable& PlayerApi_Table(int index) { return g_tables[index == 1 ? 1 : 0]; }

int PlayerApi_InitSlots(const SlotWindow* frontPane, const SlotWindow* rearPane, const std::string& face) {
  const SlotWindow* panes[2] = {frontPane, rearPane};
  int all = 1;
  for (int i = 0; i < 2; ++i) {
    PlayerSlotTable_Fill(&g_tables[i]);
    g_slots[i].initialised = g_tables[i].init(&g_slots[i], panes[i], nullptr, face) != 0 ? 1 : 0;
    g_slots[i].dataReady = 0;
    all &= g_slots[i].initialised;
  }
  return all;
}

int PlayerApi_CheckFile(const std::string& path) {
  return ForChosen(2, [&](int i) { return g_tables[i].checkFile && g_tables[i].checkFile(&g_slots[i], path); });
}

int PlayerApi_OpenPair(const std::string& frontPath, const std::string& rearPath) {
  const std::string* paths[2] = {&frontPath, &rearPath};
  int results[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    g_slots[i].opened = 0;
    if (!Ready(i) || !g_tables[i].open) continue;
    results[i] = g_tables[i].open(&g_slots[i], i, *paths[i], g_slots[i].views[0].window, g_slots[i].views[1].window);
    if (results[i] == 2) return 2;
  }
  for (int i = 0; i < 2; ++i) g_slots[i].opened = results[i];
  return (results[0] || results[1]) ? 1 : 0;
}

namespace {

// The threads closing players let go of by PlayerApi_CloseApart.
struct Closers {
  std::mutex mutex;
  std::condition_variable idle;
  int active = 0;  // sessions still closing
  std::vector<std::thread> threads;

  ~Closers() { Wait(); }
  void Start(std::vector<std::unique_ptr<SlotPlayer>> players) {
    std::lock_guard<std::mutex> lock(mutex);
    ++active;
    threads.emplace_back([this, players = std::move(players)]() mutable {
      for (auto& p : players) p->CloseSession();
      players.clear();
      std::lock_guard<std::mutex> l(mutex);
      --active;
      idle.notify_all();
    });
  }
  // Until every session given so far is closed.
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    idle.wait(lock, [this] { return active == 0; });
    std::vector<std::thread> ended = std::move(threads);
    threads.clear();
    lock.unlock();
    for (std::thread& t : ended) t.join();
  }
};
Closers g_closers;

// Where a slot's player sends its messages, taken on the window thread so
// that the open off it asks no window anything.
class TakenWindow final : public SlotWindow {
 public:
  TakenWindow() = default;
  explicit TakenWindow(const SlotWindow& w) : port_(w.Port()), parent_(w.ParentPort()), size_(w.ClientSize()) {}
  AppMessagePort Port() const override { return port_; }
  AppMessagePort ParentPort() const override { return parent_; }
  Size ClientSize() const override { return size_; }

 private:
  AppMessagePort port_, parent_;
  Size size_;
};

}  // namespace

struct OpenedPair {
  std::string paths[2];
  // Per slot: opened apart (the slot's own open entry), else opened by its
  // table entry when the pair is taken; skipped when not initialised.
  bool apart[2] = {false, false};
  bool skipped[2] = {true, true};
  bool hasWindow[2] = {false, false};
  TakenWindow windows[2];
  MovieOpened opened[2];
};

std::shared_ptr<OpenedPair> PlayerApi_BeginOpenPair(const std::string& frontPath, const std::string& rearPath) {
  auto pair = std::make_shared<OpenedPair>();
  pair->paths[0] = frontPath;
  pair->paths[1] = rearPath;
  for (int i = 0; i < 2; ++i) {
    pair->skipped[i] = !Ready(i) || !g_tables[i].open;
    pair->apart[i] = !pair->skipped[i] && g_tables[i].open == PlayerSlot_Open;
    if (const SlotWindow* w = g_slots[i].views[0].window) {
      pair->windows[i] = TakenWindow(*w);
      pair->hasWindow[i] = true;
    }
  }
  return pair;
}

void PlayerApi_RunOpenPair(OpenedPair& pair, const std::atomic<bool>& cancel) {
  for (int i = 0; i < 2 && !cancel; ++i) {
    if (!pair.apart[i]) continue;
    pair.opened[i] = PlayerSlot_ReadMovie(pair.paths[i]);
    // A front refused as too short leaves the rear unopened.
    if (pair.opened[i].result == 2) return;
  }
  if (cancel) return;
  // The pipelines of the pair before have stopped before new ones start:
  // the slots' frame memory is never asked for by both at once.
  g_closers.Wait();
  for (int i = 0; i < 2; ++i) {
    if (pair.apart[i]) {
      PlayerSlot_OpenPlayerApart(&g_slots[i], pair.opened[i], pair.paths[i],
                                 pair.hasWindow[i] ? &pair.windows[i] : nullptr, &cancel);
    }
  }
  // Stopped meanwhile: what opened closes here.
  if (cancel) {
    for (MovieOpened& o : pair.opened) o.player.reset();
  }
}

int PlayerApi_TakeOpenedPair(OpenedPair& pair) {
  int results[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    g_slots[i].opened = 0;
    if (pair.skipped[i] || !Ready(i)) continue;
    PlayerSlot& s = g_slots[i];
    results[i] = pair.apart[i] ? PlayerSlot_TakeOpened(&s, std::move(pair.opened[i]), s.views[0].window,
                                                       s.views[1].window)
                               : g_tables[i].open(&s, i, pair.paths[i], s.views[0].window, s.views[1].window);
    if (results[i] == 2) return 2;
  }
  for (int i = 0; i < 2; ++i) g_slots[i].opened = results[i];
  return (results[0] || results[1]) ? 1 : 0;
}

void PlayerApi_RepeatReadyMessages() {
  for (PlayerSlot& s : g_slots) {
    if (s.initialised && s.opened && s.views[0].window) s.views[0].window->Port().Post(kMsgPlayerTopologyReady);
  }
}

int PlayerApi_Close() {
  g_closers.Wait();
  return EndPair(&PlayerSlotTable::close);
}

int PlayerApi_CloseApart() {
  std::vector<std::unique_ptr<SlotPlayer>> players;
  const int any = ForChosen(2, [&players](int i) {
    int r = 0;
    if (g_tables[i].close == PlayerSlot_Close) {
      if (std::unique_ptr<SlotPlayer> p = PlayerSlot_LetGo(&g_slots[i])) players.push_back(std::move(p));
      r = 1;
    } else if (g_tables[i].close) {
      r = g_tables[i].close(&g_slots[i]);
    }
    g_slots[i].dataReady = 0;
    g_slots[i].opened = 0;
    return r;
  });
  if (!players.empty()) g_closers.Start(std::move(players));
  return any;
}

void PlayerApi_CloseOpenedPair(OpenedPair& pair) {
  std::vector<std::unique_ptr<SlotPlayer>> players;
  for (MovieOpened& o : pair.opened) {
    if (o.player) players.push_back(std::move(o.player));
  }
  if (!players.empty()) g_closers.Start(std::move(players));
}

void PlayerApi_WaitClosed() { g_closers.Wait(); }

int PlayerApi_LoadDriveData(const std::string& frontPath, const std::string& rearPath) {
  const std::string* paths[2] = {&frontPath, &rearPath};
  for (int i = 0; i < 2; ++i) {
    if (!Ready(i) || !g_slots[i].opened || !g_tables[i].loadDriveData) continue;
    if (g_tables[i].loadDriveData(&g_slots[i], *paths[i])) {
      g_slots[i].dataReady = 1;
      return 1;
    }
  }
  return 0;
}

int PlayerApi_FreeDriveData() { return EndPair(&PlayerSlotTable::freeDriveData); }

int PlayerApi_Start(int selector) {
  if (ValidSelector(selector)) {
    return Ready(selector) && g_tables[selector].play ? (g_tables[selector].play(&g_slots[selector]) ? 1 : 0) : 0;
  }
  if (!Ready(0) || !Ready(1)) return 0;
  // Both go to playing together, with one base time.
  PlayersInStep together;
  int64_t d[2];
  for (int i = 0; i < 2; ++i) d[i] = g_tables[i].getDuration ? g_tables[i].getDuration(&g_slots[i], 0) : 0;
  int any = 0;
  for (int i = 0; i < 2; ++i) {
    const int64_t p = g_tables[i].getPosition ? g_tables[i].getPosition(&g_slots[i], 0) : 0;
    if (StartOnlyMarks(d[i], p, d[1 - i])) {
      if (g_slots[i].state != kSlotClosed) g_slots[i].state = kSlotPlaying;
      continue;
    }
    if (g_tables[i].play && g_tables[i].play(&g_slots[i])) any = 1;
  }
  return any;
}

int PlayerApi_SeekPlaying(int selector, int32_t position) {
  // The rear is scaled to the front's time as SeekTo does.
  float scale[2];
  SlotScales(scale);
  // Both pause, seek and preroll, then play on together.
  PlayersInStep together;
  return ForChosen(selector, [&](int i) {
    return g_tables[i].seekPlaying &&
           g_tables[i].seekPlaying(&g_slots[i], static_cast<int32_t>(Scaled(position, scale[i])));
  });
}

int PlayerApi_Pause(int selector) {
  // Both stop at one running time, so that they resume in step.
  PlayersInStep together;
  return ForChosen(selector, [](int i) { return g_tables[i].pause && g_tables[i].pause(&g_slots[i]); });
}

int32_t PlayerApi_GetState(int selector) {
  const int i = ValidSelector(selector) ? selector : DataSlot();
  return Ready(i) ? g_slots[i].state.load() : 0;
}

int32_t PlayerApi_GetPosition(int selector) {
  const int i = ValidSelector(selector) ? selector : DataSlot();
  return Ready(i) && g_tables[i].getPosition ? g_tables[i].getPosition(&g_slots[i], 0) : 0;
}

namespace {

int SeekThrough(int selector, int32_t position, bool alt) {
  float scale[2];
  SlotScales(scale);
  PlayersInStep together;
  int any = 0;
  for (int i = 0; i < 2; ++i) {
    if (ValidSelector(selector) && selector != i) continue;
    // The second seek entry is called on a chosen slot without the test.
    if (!Ready(i) && !(alt && ValidSelector(selector))) continue;
    auto entry = alt ? g_tables[i].seekAlt : g_tables[i].seekTo;
    if (entry && entry(&g_slots[i], 0, Scaled(position, scale[i]))) any = 1;
  }
  return any;
}

}  // namespace

int PlayerApi_SeekTo(int selector, int32_t position) { return SeekThrough(selector, position, false); }
int PlayerApi_SeekAlt(int selector, int32_t position) { return SeekThrough(selector, position, true); }

int64_t PlayerApi_GetDuration(int selector) {
  const int i = ValidSelector(selector) ? selector : DataSlot();
  return Ready(i) && g_tables[i].getDuration ? g_tables[i].getDuration(&g_slots[i], 0) : 0;
}

int64_t PlayerApi_GetDataSlotDuration() {
  const int i = DataSlot();
  return Ready(i) && g_tables[i].getDuration2 ? g_tables[i].getDuration2(&g_slots[i], 0) : 0;
}

void PlayerApi_SetVolume(int selector, int volume) {
  const int chosen = ValidSelector(selector) ? selector : DataSlot();
  if (!Ready(chosen)) {
    if (ValidSelector(selector)) return;
  } else if (g_tables[chosen].setVolume) {
    g_tables[chosen].setVolume(&g_slots[chosen], volume);
  }
  const int other = 1 - chosen;
  if (Ready(other) && g_tables[other].setVolume) g_tables[other].setVolume(&g_slots[other], 0);
}

int PlayerApi_SetRate(int code) {
  return ForChosen(2, [&](int i) { return g_tables[i].setRate && g_tables[i].setRate(&g_slots[i], code); });
}

int PlayerApi_GetNextRate(int selector, int faster) {
  const int i = ValidSelector(selector) ? selector : DataSlot();
  const PlayerSlot& s = g_slots[i];
  if (s.state != kSlotPlaying) return 1;
  return NextRateCode(s.rateCode, faster != 0, s.canPlayBackwards != 0);
}

float PlayerApi_GetViewFactor(int selector) {
  const int i = ValidSelector(selector) ? selector : DataSlot();
  return Ready(i) && g_tables[i].getViewFactor ? g_tables[i].getViewFactor(&g_slots[i], 0) : 0.0f;
}

int PlayerApi_RefreshFrame(int selector) {
  return ForChosen(selector, [](int i) { return g_tables[i].refreshFrame && g_tables[i].refreshFrame(&g_slots[i], 0); });
}

int PlayerApi_Redraw(const ZoomRecord zoom[2], int repaint) {
  return ForChosen(2, [&](int i) {
    const ZoomRecord& z = zoom[i];
    return g_tables[i].setZoom && g_tables[i].setZoom(&g_slots[i], 0, z.x, z.y, z.offsetX, z.offsetY, z.factor, repaint);
  });
}

int PlayerApi_GetResolutionClass(int slot) {
  if (!ValidSelector(slot) || !Ready(slot) || !g_tables[slot].getVideoSize) return 0;
  int w = 0, h = 0;
  if (!g_tables[slot].getVideoSize(&g_slots[slot], 0, &w, &h)) return 0;
  uint8_t byte27;
  {
    // The head loaded for the pair; once the pair is bound it has moved on to
    // the current reader.
    SlotLock lock(&g_slots[0]);
    const CDriveDataReader& r = g_slots[0].loading.gps ? g_slots[0].loading : g_slots[0].current;
    byte27 = r.head.byte27;
  }
  return ResolutionClass(h, byte27);
}

void PlayerApi_LockAll() {
  for (PlayerSlot& s : g_slots)
    if (s.mutexA) s.mutexA->lock();
}

void PlayerApi_UnlockAll() {
  for (PlayerSlot& s : g_slots)
    if (s.mutexA) s.mutexA->unlock();
}

int PlayerApi_GetDataSlot() { return DataSlot(); }

DriveDataView::DriveDataView() {
  PlayerApi_LockAll();
  slot_ = PlayerApi_GetDataSlot();
  const PlayerSlot& s = g_slots[slot_];
  if (!s.initialised) return;
  gps_ = s.current.gps.get();
  sensors_ = s.current.sensors.get();
  timeIndex_ = s.current.timeIndex.get();
}

DriveDataView::~DriveDataView() { PlayerApi_UnlockAll(); }

std::vector<GpsSample>* PlayerApi_GetTrackData() {
  PlayerSlot& s = g_slots[DataSlot()];
  SlotLock lock(&s);
  return s.current.gps.get();
}

std::vector<SensorSample>* PlayerApi_GetTrackData2() {
  PlayerSlot& s = g_slots[DataSlot()];
  SlotLock lock(&s);
  return s.current.sensors.get();
}

std::vector<SensorSample*>* PlayerApi_GetTrackData3() {
  PlayerSlot& s = g_slots[DataSlot()];
  SlotLock lock(&s);
  return s.current.timeIndex.get();
}

int PlayerApi_ReadDriveDataHead(DriveDataHead* head, const std::string& path) {
  PlayerSlot& s = g_slots[DataSlot()];
  if (!s.initialised) return 0;
  SlotLock lock(&s);
  CDriveDataReader reader;
  if (!reader.MapFile(path)) return 0;
  DriveDataHead h;
  const int ok = reader.ReadBlock([&](CDriveDataReader& r, const uint8_t* b, size_t n) { return r.ParseHead(b, n, h); });
  reader.CloseFile();
  if (!ok) return 0;
  *head = h;
  return 1;
}

int PlayerApi_PrefetchDriveData(const char* frontPath, const char* rearPath) {
  if (frontPath) return PlayerSlot_Prefetch(&g_slots[0], frontPath);
  return PlayerSlot_Prefetch(&g_slots[1], rearPath);
}

void PlayerApi_BuildTrackList(const std::vector<RecordingEntry>& entries, std::stop_token stop) {
  auto track = std::make_unique<std::vector<GpsSample>>();
  for (const RecordingEntry& e : entries) {
    if (stop.stop_requested()) return;
    const std::string& path = e.frontPath.empty() ? e.rearPath : e.frontPath;
    CDriveDataReader reader;
    if (!reader.MapFile(path)) break;
    reader.ReadBlock([&](CDriveDataReader& r, const uint8_t* b, size_t n) { return r.ParseTrack(b, n, *track); });
    reader.CloseFile();
  }
  std::unique_ptr<std::vector<GpsSample>> old;
  {
    std::lock_guard<std::mutex> l(g_trackMutex);
    old = std::move(g_track);
    g_track = std::move(track);
  }
  // The old track is freed outside the lock.
}

int PlayerApi_FreeTrackObject() {
  std::unique_ptr<std::vector<GpsSample>> old;
  std::lock_guard<std::mutex> l(g_trackMutex);
  old = std::move(g_track);
  return 1;
}

std::mutex& PlayerApi_TrackMutex() { return g_trackMutex; }
std::vector<GpsSample>* PlayerApi_Track() { return g_track.get(); }

int64_t PlayerApi_GetTrackDataSize(PlayerSlot* work, const std::string& path, uint32_t* entryCount) {
  SlotLock lock(work);
  uint32_t count = 0;
  const uint64_t sum = MovieTrackDataSize(path, &count);
  if (entryCount) *entryCount = count;
  work->current.Term();
  return sum > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(sum);
}

int PlayerApi_ShowError(uint32_t code) {
  if ((code & 0x80000000u) == 0) return 1;
  const char* plugin = GetUiText(UiText::PluginMissing);
  const std::string text = ErrorText(code, plugin ? plugin : "");
  PlayerErrorSink sink;
  {
    std::lock_guard<std::mutex> l(g_sinkMutex);
    sink = g_sink;
  }
  if (sink) {
    sink(text, "ERROR");
  } else {
    std::fprintf(stderr, "ERROR: %s\n", text.c_str());
  }
  return 0;
}

void PlayerApi_SetErrorSink(PlayerErrorSink sink) {
  std::lock_guard<std::mutex> l(g_sinkMutex);
  g_sink = std::move(sink);
}

}  // namespace qv
