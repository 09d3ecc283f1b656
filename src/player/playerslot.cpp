#include "player/playerslot.h"

#include <QBuffer>
#include <QByteArray>

#include <sys/stat.h>

#include "platform/atomicwrite.h"
#include "platform/qt/imageencoder.h"
#include "player/playerapi.h"
#include "player/playerindex.h"
#include "player/slotrules.h"
#include "recording/checkfile.h"

namespace qv {

namespace {

void Sleep(PlayerSlot* slot, int ms) {
  if (slot->sleep) {
    slot->sleep(ms);
  } else {
    RealSleep(ms);
  }
}

SlotPlayerFactory& DefaultFactory() {
  static SlotPlayerFactory factory = GstSlotPlayerFactory();
  return factory;
}

bool ValidView(int view) { return view == 0 || view == 1; }

uint32_t CodeOf(PlayerResult r) {
  switch (r) {
    case PlayerResult::kOk: return 0;
    case PlayerResult::kInvalidRequest: return kCodeInvalidRequest;
    case PlayerResult::kInvalidArg: return kCodeInvalidArg;
    case PlayerResult::kUnexpected: return kCodeUnexpected;
    case PlayerResult::kPointer: return kCodePointer;
    case PlayerResult::kFailed: break;
  }
  return PlaybackPluginsPresent() ? kCodeFail : kCodePluginMissing;
}

// Waits for a running tick worker and forgets it.
void JoinTickWorker(PlayerSlot* slot) {
  slot->tickRun = 0;
  if (slot->tickThread.joinable()) slot->tickThread.join();
}

void TickWorker(PlayerSlot* slot) {
  int sleeps = 0;
  for (;;) {
    Sleep(slot, 10);
    if (++sleeps % 100 == 0 && slot->state.load() != kSlotPaused) {
      slot->tickTarget.Post(kMsgTick, 0, slot->tickCounter.load());
      ++slot->tickCounter;
      if (slot->tickCounter.load() >= slot->tickLimit.load()) {
        slot->tickTarget.Post(kMsgTickLimit, 0, slot->tickCounter.load());
        slot->tickCounter = 0;
        return;
      }
    }
    if (slot->tickRun.load() == 0) return;
  }
}

// Places view `view` in its window with the given aspect rule; false when no
// rectangle can be made (the view keeps its placement).
bool ApplyZoomRect(PlayerSlot* slot, int view, int keepAspect) {
  SlotView& v = slot->views[view];
  if (!v.window || !slot->player) return false;
  const Size client = v.window->ClientSize();
  Rect r;
  if (!ZoomedViewRect(client, v.zoomX, v.zoomY, v.zoomFactor, v.offsetX, v.offsetY, &r)) return false;
  v.viewRect = r;
  if (keepAspect == 1) {
    Size video;
    if (!slot->player->GetNativeVideoSize(&video)) return false;
    Rect fitted;
    if (!LetterboxFit(r, video, client, &fitted)) return false;
    r = fitted;
  }
  slot->player->SetVideoPosition(r);
  slot->player->SetAspectRatioMode(keepAspect == 1 ? 1 : 0);
  return true;
}

bool FileHasContent(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

void ClearReader(CDriveDataReader& r) {
  r.Term();
  r.opened = 0;
}

}  // namespace

PlayerSlot::~PlayerSlot() {
  JoinTickWorker(this);
  player.reset();
}

bool PlayerSlot_PlayerReady(PlayerSlot* slot) { return slot->player && slot->player->IsReady(); }

int PlayerSlot_Init(PlayerSlot* slot, const SlotWindow* pane, const SlotWindow* second, const std::string& face) {
  PlayerSlot_Release(slot);
  slot->mutexA = std::make_unique<std::recursive_mutex>();
  slot->mutexB = std::make_unique<std::mutex>();
  SlotLock lock(slot);
  slot->views[0] = SlotView{};
  slot->views[0].window = pane;
  slot->views[1] = SlotView{};
  slot->views[1].window = second;
  slot->rateCode = 1;
  slot->state = kSlotClosed;
  slot->player.reset();
  slot->ownedTrack.reset();
  slot->lastPosition = 0;
  slot->osdFace = face.substr(0, 32 * 4);
  slot->osd.Clear();
  slot->current.Init();
  slot->prefetch.Init();
  slot->loading.Init();
  slot->prefetchPath.clear();
  return 1;
}

int PlayerSlot_Release(PlayerSlot* slot) {
  if (!slot->mutexA) {
    JoinTickWorker(slot);
    slot->player.reset();
    return 1;
  }
  {
    // A running prefetch or load finishes first.
    std::lock_guard<std::mutex> wait(*slot->mutexB);
  }
  {
    std::lock_guard<std::recursive_mutex> a(*slot->mutexA);
    std::lock_guard<std::mutex> b(*slot->mutexB);
    JoinTickWorker(slot);
    if (slot->player) slot->player->CloseSession();
    slot->player.reset();
    slot->saved.frames.reset();  // the kept frame memory goes with the slot
    slot->ownedTrack.reset();
    slot->osd.Clear();
    slot->state = kSlotClosed;
    slot->current.Term();
    slot->prefetch.Term();
    slot->loading.Term();
    slot->prefetchPath.clear();
  }
  slot->mutexB.reset();
  slot->mutexA.reset();
  return 1;
}

int PlayerSlot_CheckFile(PlayerSlot* slot, const std::string& path) {
  SlotLock lock(slot);
  return CheckFile(path) ? 1 : 0;
}

int PlayerSlot_SetWindows(PlayerSlot* slot, const SlotWindow* pane, const SlotWindow* second) {
  SlotLock lock(slot);
  slot->views[0].window = pane;
  slot->views[1].window = second;
  return 1;
}

MovieOpened PlayerSlot_ReadMovie(const std::string& path) {
  MovieOpened facts;  // failed until the verdict
  if (!CheckFileType(path)) return facts;

  // Frame timing from the movie's index.  A movie without a video track or
  // without usable frame timing cannot be played: the open fails (and the
  // pair's other camera still opens).  One whose index cannot be read at all
  // is asked of the discoverer instead.
  const MovieIndexFacts index = ReadMovieIndex(path);
  float seconds = index.durationSec, frameMs = index.frameMs;
  if (index.timing == MovieOpening::kFailed) return facts;
  if (index.timing == MovieOpening::kNoIndex) {
    double fps = 0, discovered = 0;
    if (!DiscoverFrameTiming(path, &fps, &discovered) || !(fps > 0)) return facts;
    seconds = static_cast<float>(discovered);
    frameMs = static_cast<float>(static_cast<int>(1000.0 / fps));
  }
  const MovieOpening verdict = FrameTimingVerdict(seconds, frameMs);
  facts.result = static_cast<int>(verdict);
  if (verdict != MovieOpening::kOpens) return facts;
  facts.durationSec = seconds;
  facts.frameMs = frameMs;
  facts.duration = index.duration;
  return facts;
}

namespace {

// The slot takes the movie's timing and its windows, and closes its player.
void TakeTiming(PlayerSlot* slot, const MovieOpened& facts, const SlotWindow* pane, const SlotWindow* second) {
  SlotView& v0 = slot->views[0];
  v0.durationSec = facts.durationSec;
  v0.frameMs = facts.frameMs;
  slot->current.msPerSlot = v0.frameMs;
  slot->loading.msPerSlot = v0.frameMs;
  if (pane) v0.window = pane;
  if (second) slot->views[1].window = second;
  PlayerSlot_Close(slot);
}

std::unique_ptr<SlotPlayer> OpenPlayer(PlayerSlot* slot, const SlotWindow* window, const std::string& path,
                                       int64_t duration) {
  const SlotPlayerFactory& make = slot->factory ? slot->factory : DefaultFactory();
  std::unique_ptr<SlotPlayer> player = make(window, &slot->saved);
  if (!player) {
    PlayerApi_ShowError(kCodeOutOfMemory);
    return nullptr;
  }
  const PlayerResult r = player->Open(path, duration);
  if (r != PlayerResult::kOk) {
    PlayerApi_ShowError(CodeOf(r));
    return nullptr;
  }
  return player;
}

// The slot plays through `player` (null: the open failed).
int TakePlayer(PlayerSlot* slot, std::unique_ptr<SlotPlayer> player) {
  constexpr int kFailed = static_cast<int>(MovieOpening::kFailed);
  if (!player) return kFailed;
  slot->opened = 1;
  player->SetRate(1.0f);
  slot->player = std::move(player);
  slot->canPlayBackwards = 0;
  if (PlayerSlot_GetDuration(slot, 0) > 0) {
    slot->state = kSlotOpened;
    return static_cast<int>(MovieOpening::kOpens);
  }
  slot->player.reset();
  return kFailed;
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

}  // namespace

int PlayerSlot_Open(PlayerSlot* slot, int /*index*/, const std::string& path, const SlotWindow* pane,
                    const SlotWindow* second) {
  SlotLock lock(slot);
  const MovieOpened facts = PlayerSlot_ReadMovie(path);
  if (facts.result != static_cast<int>(MovieOpening::kOpens)) return facts.result;
  TakeTiming(slot, facts, pane, second);
  return TakePlayer(slot, OpenPlayer(slot, slot->views[0].window, path, facts.duration));
}

void PlayerSlot_OpenPlayerApart(PlayerSlot* slot, MovieOpened& opened, const std::string& path,
                                const SlotWindow* window, const std::atomic<bool>* cancel) {
  if (opened.result != static_cast<int>(MovieOpening::kOpens) || Cancelled(cancel)) return;
  opened.player = OpenPlayer(slot, window, path, opened.duration);
  // Closed here, off the window thread, when nobody wants it any more.
  if (Cancelled(cancel)) opened.player.reset();
}

int PlayerSlot_TakeOpened(PlayerSlot* slot, MovieOpened opened, const SlotWindow* pane, const SlotWindow* second) {
  SlotLock lock(slot);
  if (opened.result != static_cast<int>(MovieOpening::kOpens)) return opened.result;
  TakeTiming(slot, opened, pane, second);
  return TakePlayer(slot, std::move(opened.player));
}

std::unique_ptr<SlotPlayer> PlayerSlot_LetGo(PlayerSlot* slot) {
  SlotLock lock(slot);
  JoinTickWorker(slot);
  std::unique_ptr<SlotPlayer> player = std::move(slot->player);
  if (player) player->ReadFlags(&slot->saved);
  slot->osd.Clear();
  slot->state = kSlotClosed;
  return player;
}

int PlayerSlot_Close(PlayerSlot* slot) {
  SlotLock lock(slot);
  if (std::unique_ptr<SlotPlayer> player = PlayerSlot_LetGo(slot)) player->CloseSession();
  return 1;
}

int PlayerSlot_LoadDriveData(PlayerSlot* slot, const std::string& path) {
  SlotLock lock(slot);
  if (!slot->mutexB) return 0;
  bool ok;
  {
    // Waits for a running prefetch of this path or another.
    std::lock_guard<std::mutex> b(*slot->mutexB);
    slot->current.path = path;
    if (slot->prefetch.opened && slot->prefetchPath == path) {
      slot->prefetch.MoveTo(slot->loading);
      slot->prefetch.opened = 0;
      slot->prefetchPath.clear();
      slot->loading.opened = 1;
      ok = true;
    } else {
      ClearReader(slot->prefetch);
      slot->prefetchPath.clear();
      ok = slot->loading.Open(path);
    }
  }
  if (!ok) return 0;
  slot->loading.msPerSlot = slot->views[0].frameMs;
  const int64_t frames = PlayerSlot_GetDuration(slot, 0);
  if (frames < 1 || frames > CDriveDataReader::kMaxTimeSlots) return 0;
  if (!slot->loading.BuildTimeIndex(static_cast<int>(frames))) return 0;
  // Without a GPS sample the file's drive data is no use to the data slot.
  return slot->loading.gps && !slot->loading.gps->empty() ? 1 : 0;
}

int PlayerSlot_FreeDriveData(PlayerSlot* slot) {
  SlotLock lock(slot);
  ClearReader(slot->current);
  ClearReader(slot->loading);
  return 1;
}

bool PlayerSlot_CopyDriveData(PlayerSlot* slot) {
  SlotLock lock(slot);
  const bool moved = slot->loading.MoveTo(slot->current);
  slot->current.opened = slot->loading.opened;
  slot->current.msPerSlot = slot->loading.msPerSlot;
  slot->loading.opened = 0;
  return moved;
}

int PlayerSlot_Prefetch(PlayerSlot* slot, const char* path) {
  if (!slot->mutexB) return 0;
  std::lock_guard<std::mutex> b(*slot->mutexB);
  slot->prefetchBusy = 1;
  ClearReader(slot->prefetch);
  slot->prefetchPath = path ? path : "";
  bool ok = true;
  if (path && *path) ok = slot->prefetch.Open(path);
  slot->prefetchBusy = 0;
  return ok ? 1 : 0;
}

int PlayerSlot_Play(PlayerSlot* slot) {
  if (!PlayerSlot_PlayerReady(slot)) return 0;
  SlotLock lock(slot);
  // A slot that played to the end still says playing while its player
  // stands at the end: it plays again (from the beginning).
  if (slot->state != kSlotPlaying || slot->player->State() == PlayerState::kStopped) {
    slot->player->StartPlayback();
    slot->state = kSlotPlaying;
  }
  return 1;
}

int PlayerSlot_Pause(PlayerSlot* slot) {
  if (!PlayerSlot_PlayerReady(slot)) return 0;
  SlotLock lock(slot);
  if (slot->state != kSlotPaused) {
    if (slot->player->State() == PlayerState::kStarted) slot->player->Pause();
    slot->state = kSlotPaused;
  }
  return 1;
}

int PlayerSlot_Stop(PlayerSlot* slot) {
  if (!PlayerSlot_PlayerReady(slot)) return 0;
  SlotLock lock(slot);
  if (slot->state != kSlotOpened) {
    if (slot->player->State() == PlayerState::kStarted) slot->player->Pause();
    slot->state = kSlotOpened;
  }
  return 1;
}

int PlayerSlot_SeekPlaying(PlayerSlot* slot, int32_t position) {
  if (!PlayerSlot_PlayerReady(slot)) return 0;
  SlotLock lock(slot);
  if (slot->state == kSlotPlaying) slot->player->Seek(TimeFromFrames(position, slot->views[0].frameMs));
  return 1;
}

int PlayerSlot_SeekTo(PlayerSlot* slot, int view, int64_t position) {
  if (!PlayerSlot_PlayerReady(slot) || !ValidView(view)) return 0;
  SlotLock lock(slot);
  slot->player->Seek(TimeFromFrames(position, slot->views[view].frameMs));
  return 1;
}

int32_t PlayerSlot_GetPosition(PlayerSlot* slot, int view) {
  if (!PlayerSlot_PlayerReady(slot) || !ValidView(view)) return 0;
  SlotLock lock(slot);
  int64_t t = 0;
  // A clock that still reads 0 right after a start is read again, at most
  // ten times; a stopped or paused movie at its start reads 0 at once.
  for (int reads = 1;; ++reads) {
    if (!slot->player->GetPosition(&t) || t < 0) {
      slot->lastPosition = -1;
      return -1;
    }
    if (t != 0 || slot->state != kSlotPlaying || reads >= 10) break;
    Sleep(slot, 10);
  }
  const int64_t frames = FramesFromTime(t, slot->views[view].frameMs);
  slot->lastPosition = frames;
  return static_cast<int32_t>(frames);
}

int64_t PlayerSlot_GetDuration(PlayerSlot* slot, int view) {
  // Not gated on the ready flag: the duration comes from the movie's header
  // and is known as soon as the movie is opened.
  if (!slot->player || !ValidView(view)) return 0;
  SlotLock lock(slot);
  return FramesFromTime(slot->player->Duration(), slot->views[view].frameMs);
}

float PlayerSlot_GetViewFactor(PlayerSlot* slot, int view) {
  if (!ValidView(view)) return 0.0f;
  SlotLock lock(slot);
  return slot->views[view].frameMs;
}

void PlayerSlot_SetFlag(PlayerSlot* slot, int32_t flag) {
  SlotLock lock(slot);
  slot->flag15 = flag;
}

void PlayerSlot_SetHardwareDecode(PlayerSlot* slot, int32_t flag) {
  SlotLock lock(slot);
  slot->hardwareDecode = flag;
}

int PlayerSlot_SetRate(PlayerSlot* slot, int code) {
  SlotLock lock(slot);
  const RateChoice c = RateForCode(code, slot->rateCode, slot->canPlayBackwards != 0);
  slot->rateCode = c.code;
  if (slot->player) {
    slot->player->SetVolume(c.code == 1 ? slot->volume : 0);
    if (slot->player->SetRate(c.rate) != PlayerResult::kOk) return 0;
  }
  return 1;
}

int PlayerSlot_StartTickWorker(PlayerSlot* slot, int view, int run) {
  if (!ValidView(view)) return 0;
  SlotLock lock(slot);
  JoinTickWorker(slot);
  if (run == 0) {
    if (slot->player) {
      slot->player->StartPlayback();
      PlayerSlot_SetRate(slot, slot->rateCode);
    }
    return 1;
  }
  if (slot->views[view].frameMs == 0.0f || !slot->player) return 0;
  slot->player->SetVolume(0);
  slot->player->StartPlayback();
  slot->tickLimit = static_cast<int32_t>(PlayerSlot_GetDuration(slot, view));
  slot->tickCounter = PlayerSlot_GetPosition(slot, view);
  slot->tickTarget = slot->views[view].window ? slot->views[view].window->ParentPort() : AppMessagePort();
  slot->player->Pause();
  slot->tickRun = run;
  slot->tickThread = std::thread(TickWorker, slot);
  return 1;
}

// Picture and sound.

int PlayerSlot_SetAspectMode(PlayerSlot* slot, int view, int mode) {
  if (!ValidView(view)) return 0;
  SlotLock lock(slot);
  if (!ApplyZoomRect(slot, view, mode == 1 ? 1 : 0)) return 0;
  slot->views[view].keepAspect = mode;
  return 1;
}

int PlayerSlot_GetVideoSize(PlayerSlot* slot, int view, int* width, int* height) {
  if (!ValidView(view)) return 0;
  SlotLock lock(slot);
  Size s;
  if (!slot->player || !slot->player->GetNativeVideoSize(&s)) return 0;
  *width = s.width;
  *height = s.height;
  return 1;
}

int PlayerSlot_SetVolume(PlayerSlot* slot, int volume) {
  SlotLock lock(slot);
  slot->volume = static_cast<uint16_t>(volume < 0 ? 0 : volume > 65535 ? 65535 : volume);
  if (slot->player) slot->player->SetVolume(slot->rateCode == 1 ? slot->volume : 0);
  return 1;
}

void PlayerSlot_DrawOsd(PlayerSlot* slot, int view, const std::string& text) {
  if (!ValidView(view)) return;
  SlotLock lock(slot);
  slot->osd.Draw(text, slot->osdFace);
  Size video, client;
  if (slot->player) slot->player->GetNativeVideoSize(&video);
  if (slot->views[view].window) client = slot->views[view].window->ClientSize();
  slot->osd.SetPlace(OsdPlacement(video, client));
  if (slot->player) slot->player->RepaintVideo();
}

int PlayerSlot_RedrawOsd(PlayerSlot* slot) {
  SlotLock lock(slot);
  if (slot->player) slot->player->RepaintVideo();
  return 1;
}

void PlayerSlot_SetVideoRect(PlayerSlot* slot, int flip) {
  // The flag is kept; the present engine draws no turned picture, so the
  // placement is not changed.
  SlotLock lock(slot);
  slot->flip = flip;
}

int PlayerSlot_SetZoom(PlayerSlot* slot, int view, int zoomX, int zoomY, int offsetX, int offsetY, float factor,
                       int repaint) {
  if (!PlayerSlot_PlayerReady(slot) || !ValidView(view)) return 0;
  SlotLock lock(slot);
  SlotView& v = slot->views[view];
  if (!v.window) return 0;
  v.zoomX = zoomX;
  v.zoomY = zoomY;
  v.offsetX = offsetX;
  v.offsetY = offsetY;
  v.zoomFactor = factor;
  if (!ApplyZoomRect(slot, view, v.keepAspect)) return 0;
  if (repaint) slot->player->RepaintVideo();
  return 1;
}

int PlayerSlot_RedrawView(PlayerSlot* slot, int view) {
  if (!ValidView(view)) return 0;
  SlotLock lock(slot);
  if (!ApplyZoomRect(slot, view, slot->views[view].keepAspect)) return 0;
  slot->player->RepaintVideo();
  return 1;
}

int PlayerSlot_SetMirror(PlayerSlot* slot) {
  if (!PlayerSlot_PlayerReady(slot)) return 0;
  SlotLock lock(slot);
  const int flag = slot->player->ToggleMirror();
  if (flag < 0) return 0;
  slot->player->RepaintVideo();
  return flag;
}

int PlayerSlot_RefreshFrame(PlayerSlot* slot, int view) {
  if (!PlayerSlot_PlayerReady(slot) || !ValidView(view)) return 0;
  SlotLock lock(slot);
  return slot->player->RepaintVideo() ? 1 : 0;
}

int PlayerSlot_SaveSnapshot(PlayerSlot* slot, int view, const std::string& path) {
  if (!ValidView(view) || path.empty()) return 0;
  SlotLock lock(slot);
  Size size;
  if (!slot->player || !slot->player->GetNativeVideoSize(&size)) return 0;
  const QImage frame = slot->player->GetCurrentImage();
  if (frame.isNull() || frame.width() <= 0 || frame.height() <= 0) return 0;
  std::string format;
  if (GetEncoderClsid(format) < 0) return 0;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !frame.save(&buffer, format.c_str(), 90) || bytes.isEmpty()) return 0;
  if (!ReplaceFileContent(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) return 0;
  return FileHasContent(path) ? 1 : 0;
}

}  // namespace qv
