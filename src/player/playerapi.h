// The player layer: free functions over exactly two player slots (slot 0 the
// front camera, slot 1 the rear), each slot's operations reached through its
// table of function pointers.  The functions choose the slot or slots, call
// the table entry and combine the results.
//
// Slot selector: 0 front, 1 rear, 2 both (commands) or the data slot
// (queries).  The data slot is slot 0 when its drive data loaded, else slot 1.
// "For each slot" means slot 0 then slot 1, skipping slots not initialised.
// A combined result is 1 when any call answered non-zero.
//
// Window thread, except LoadDriveData, PrefetchDriveData and BuildTrackList,
// which the main window runs on its short-lived pair threads.
//
// Locks: each slot's mutex (recursive); PlayerApi_LockAll takes slot 0's
// before slot 1's.  Windows read drive data through a DriveDataView, which
// holds both for as long as it lives.  The shared GPS track has its own
// mutex, never held together with a slot mutex by this layer.
//
// This header is the windows' face of the player: it declares the slot
// record and the window a slot draws into only by name, and brings in no
// pipeline, presenter, engine or scheduler type.  The slot's own header
// (playerslot.h) is for the player layer and its tests.
//
// A pair where neither file has GPS samples still opens and plays:
// PlayerApi_LoadDriveData then answers 0 and neither slot is marked as
// holding drive data.
// The main window binds the drive data (PlayerSlot_CopyDriveData, the map,
// the graph, the information panel) only when LoadDriveData answered 1, and
// otherwise keeps playing the pair with its panels empty; selector 2 then
// reads slot 1, whose drive-data readers hold nothing.
//
// Names other parts of the program use for some of these calls:
//   SetAudio          = PlayerApi_SetRate
//   QuerySlot         = PlayerApi_GetNextRate
//   QueryByName       = PlayerApi_PrefetchDriveData
//   GetDataSlotValue  = PlayerApi_ReadDriveDataHead
//   GetHeadPair       = PlayerApi_GetMovieFrameSize (playerindex.h)
//   GetHeadWord       = PlayerApi_GetMovieSampleCount (playerindex.h)
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "player/playerindex.h"
#include "player/slotstate.h"
#include "recording/drivedata.h"
#include "recording/recordingentry.h"

namespace qv {

struct PlayerSlot;
class SlotWindow;

// One slot's operations, index for index.  Entries marked "none" stay null;
// "empty" entries answer 0 and do nothing; 15 and 17 only store a flag.
struct PlayerSlotTable {
  int (*init)(PlayerSlot*, const SlotWindow*, const SlotWindow*, const std::string&) = nullptr;  // 0
  int (*release)(PlayerSlot*) = nullptr;                                                          // 1
  int (*checkFile)(PlayerSlot*, const std::string&) = nullptr;                                    // 2
  int (*setWindows)(PlayerSlot*, const SlotWindow*, const SlotWindow*) = nullptr;                 // 3
  int (*open)(PlayerSlot*, int, const std::string&, const SlotWindow*, const SlotWindow*) = nullptr;  // 4
  int (*close)(PlayerSlot*) = nullptr;                                                            // 5
  int (*loadDriveData)(PlayerSlot*, const std::string&) = nullptr;                                // 6
  int (*freeDriveData)(PlayerSlot*) = nullptr;                                                    // 7
  int (*play)(PlayerSlot*) = nullptr;                                                             // 8
  int (*seekPlaying)(PlayerSlot*, int32_t) = nullptr;                                             // 9
  int (*pause)(PlayerSlot*) = nullptr;                                                            // 10
  int (*stop)(PlayerSlot*) = nullptr;                                                             // 11
  int32_t (*getPosition)(PlayerSlot*, int) = nullptr;                                             // 12
  int (*seekTo)(PlayerSlot*, int, int64_t) = nullptr;                                             // 13
  int (*seekAlt)(PlayerSlot*, int, int64_t) = nullptr;                                            // 14 (= 13)
  void (*setFlag)(PlayerSlot*, int32_t) = nullptr;                                                // 15 stored only
  int (*empty16)(PlayerSlot*) = nullptr;                                                          // 16 empty
  void (*setHardwareDecode)(PlayerSlot*, int32_t) = nullptr;                                      // 17 stored only
  int (*empty18)(PlayerSlot*) = nullptr;                                                          // 18 empty
  int (*setRate)(PlayerSlot*, int) = nullptr;                                                     // 19
  int (*startTickWorker)(PlayerSlot*, int, int) = nullptr;                                        // 20
  int (*setAspectMode)(PlayerSlot*, int, int) = nullptr;                                          // 21
  int64_t (*getDuration)(PlayerSlot*, int) = nullptr;                                             // 22
  int64_t (*getDuration2)(PlayerSlot*, int) = nullptr;                                            // 23 (= 22)
  int64_t (*constant24)(PlayerSlot*) = nullptr;                                                   // 24 always 0
  float (*getViewFactor)(PlayerSlot*, int) = nullptr;                                             // 25
  void (*none26)() = nullptr;                                                                     // 26 none
  int (*getVideoSize)(PlayerSlot*, int, int*, int*) = nullptr;                                    // 27
  int (*setVolume)(PlayerSlot*, int) = nullptr;                                                   // 28
  void (*drawOsd)(PlayerSlot*, int, const std::string&) = nullptr;                                // 29
  int (*redrawOsd)(PlayerSlot*) = nullptr;                                                        // 30
  void (*setVideoRect)(PlayerSlot*, int) = nullptr;                                               // 31
  int (*setZoom)(PlayerSlot*, int, int, int, int, int, float, int) = nullptr;                     // 32
  void (*none33)() = nullptr;                                                                     // 33 none
  void (*none34)() = nullptr;                                                                     // 34 none
  int (*setMirror)(PlayerSlot*) = nullptr;                                                        // 35
  void (*none36)() = nullptr;                                                                     // 36 none
  void (*none37)() = nullptr;                                                                     // 37 none
  void (*none38)() = nullptr;                                                                     // 38 none
  void (*none39)() = nullptr;                                                                     // 39 none
  int (*saveSnapshot)(PlayerSlot*, int, const std::string&) = nullptr;                            // 40
  int (*refreshFrame)(PlayerSlot*, int) = nullptr;                                                // 41
  int (*redrawView)(PlayerSlot*, int) = nullptr;                                                  // 42
  void (*none43)() = nullptr;                                                                     // 43 none
};
static_assert(sizeof(PlayerSlotTable) == 44 * sizeof(void (*)()), "one pointer per entry");

// Fills a table with the slot operations (as the main window does for both).
void PlayerSlotTable_Fill(PlayerSlotTable* table);

// The layer's two slots and tables.
PlayerSlot& PlayerApi_Slot(int index);
PlayerSlotTable& PlayerApi_Table(int index);
// Fills both tables, initialises both slots with their panes and marks them
// initialised (the main window's start-up); 1 when both initialised.
int PlayerApi_InitSlots(const SlotWindow* frontPane, const SlotWindow* rearPane, const std::string& face);

// A zoom record of the caller: centre, offset, factor.
struct ZoomRecord {
  int x = 0;
  int y = 0;
  int offsetX = 0;
  int offsetY = 0;
  float factor = 1.0f;
};

int PlayerApi_CheckFile(const std::string& path);
// 1 when a slot opened, 0 when none did, 2 when a slot refused the movie as
// too short (the rear is then not opened when the front refused).
int PlayerApi_OpenPair(const std::string& frontPath, const std::string& rearPath);
// PlayerApi_OpenPair in three steps, so that reading both movies and
// waiting for their first preroll happen off the window thread:
//   BeginOpenPair (window thread) takes what the open needs of the slots'
//   windows; RunOpenPair (any thread) reads both movies and opens their
//   players without touching the slots (a raised `cancel` stops it between
//   steps and closes what it opened); TakeOpenedPair (window thread) puts
//   the players into the slots and answers as PlayerApi_OpenPair.
// The players' ready messages reach the panes while RunOpenPair waits for
// them, before the slots hold the players: the window drops those and asks
// again once the pair is taken (PlayerApi_RepeatReadyMessages).
// A pair that is not taken closes its players when it goes, or, given to
// PlayerApi_CloseOpenedPair, on a thread of their own.
struct OpenedPair;
std::shared_ptr<OpenedPair> PlayerApi_BeginOpenPair(const std::string& frontPath, const std::string& rearPath);
void PlayerApi_RunOpenPair(OpenedPair& pair, const std::atomic<bool>& cancel);
int PlayerApi_TakeOpenedPair(OpenedPair& pair);
void PlayerApi_CloseOpenedPair(OpenedPair& pair);
// Posts each opened slot's ready message to its pane again.
void PlayerApi_RepeatReadyMessages();
// Waits for the sessions that PlayerApi_CloseApart is closing, then closes
// both slots.
int PlayerApi_Close();
// PlayerApi_Close, but the players' sessions close on a thread of their
// own: the window does not wait for their pipelines to stop.  The slots are
// closed when it returns; PlayerApi_Close and PlayerApi_WaitClosed wait
// for the sessions.
int PlayerApi_CloseApart();
void PlayerApi_WaitClosed();
// Loads the drive data of the first opened slot whose file has GPS samples
// and makes it the data slot.
int PlayerApi_LoadDriveData(const std::string& frontPath, const std::string& rearPath);
int PlayerApi_FreeDriveData();
int PlayerApi_Start(int selector);
int PlayerApi_SeekPlaying(int selector, int32_t position);
int PlayerApi_Pause(int selector);
int32_t PlayerApi_GetState(int selector);
int32_t PlayerApi_GetPosition(int selector);
int PlayerApi_SeekTo(int selector, int32_t position);
int PlayerApi_SeekAlt(int selector, int32_t position);
int64_t PlayerApi_GetDuration(int selector);
int64_t PlayerApi_GetDataSlotDuration();
void PlayerApi_SetVolume(int selector, int volume);
// Sets the rate code of both slots (also called SetAudio: sound plays only
// at code 1) and returns at once.  A slot's player only stores the rate
// under its lock, for its next start or seek to play at, and the volume
// that goes with the code is set in place: nothing is left to settle, so
// the caller's next step (the seek at the position, the pause, the next
// pair's open) follows straight away, in the same order.
int PlayerApi_SetRate(int code);
// How long the window's bind waits on its timer after the pair's rate is
// set, input held, before it starts the pair.
constexpr int kRateChangePauseMs = 100;
// The next rate code up or down (also called QuerySlot).
int PlayerApi_GetNextRate(int selector, int faster);
float PlayerApi_GetViewFactor(int selector);
int PlayerApi_RefreshFrame(int selector);
int PlayerApi_Redraw(const ZoomRecord zoom[2], int repaint);
int PlayerApi_GetResolutionClass(int slot);
void PlayerApi_LockAll();
void PlayerApi_UnlockAll();
// Which slot the drive-data queries and selector 2 read: 0 when slot 0's
// drive data loaded, else 1.
int PlayerApi_GetDataSlot();
// The data slot's current drive data: the GPS samples, the sensor samples,
// and the time index (one sensor sample per frame).  The pointers are only
// valid while the caller holds PlayerApi_LockAll; windows use DriveDataView.
std::vector<GpsSample>* PlayerApi_GetTrackData();
std::vector<SensorSample>* PlayerApi_GetTrackData2();
std::vector<SensorSample*>* PlayerApi_GetTrackData3();

// The data slot's current drive data, read with both slots' mutexes held
// (slot 0's, then slot 1's) from construction to destruction.  Nothing it
// hands out may be kept past its end.  Null vectors when the data slot is not
// initialised or holds no drive data.  Window thread; a pair thread loading
// drive data makes the view wait until the load is done.
class DriveDataView {
 public:
  DriveDataView();
  ~DriveDataView();
  DriveDataView(const DriveDataView&) = delete;
  DriveDataView& operator=(const DriveDataView&) = delete;

  int DataSlot() const { return slot_; }
  const std::vector<GpsSample>* Gps() const { return gps_; }
  const std::vector<SensorSample>* Sensors() const { return sensors_; }
  // One sensor sample per frame (null entries where a frame has none).
  const std::vector<SensorSample*>* TimeIndex() const { return timeIndex_; }

 private:
  int slot_ = 1;
  const std::vector<GpsSample>* gps_ = nullptr;
  const std::vector<SensorSample>* sensors_ = nullptr;
  const std::vector<SensorSample*>* timeIndex_ = nullptr;
};

// Moves slot `slot`'s loaded drive data into the data the accessors read
// (the main window's bind); true when it holds GPS samples.
bool PlayerSlot_CopyDriveData(PlayerSlot* slot);

// Reads only the drive-data head of `path` (also called GetDataSlotValue);
// 0 when the data slot is not initialised or the file cannot be read.
int PlayerApi_ReadDriveDataHead(DriveDataHead* head, const std::string& path);
// Reads the next pair's drive data ahead (also called QueryByName): slot 0
// with the front path when one is given, else slot 1 with the rear path.
int PlayerApi_PrefetchDriveData(const char* frontPath, const char* rearPath);

// The shared GPS track of the whole playlist.  BuildTrackList reads the
// files without the track mutex and swaps the new track in under it.
// A build whose `stop` is requested ends early and swaps nothing in.
void PlayerApi_BuildTrackList(const std::vector<RecordingEntry>& entries, std::stop_token stop = {});
int PlayerApi_FreeTrackObject();
std::mutex& PlayerApi_TrackMutex();
// The track (hold PlayerApi_TrackMutex while reading it); null when none.
std::vector<GpsSample>* PlayerApi_Track();

// Movie index helpers.
// Sum of the video track's sample sizes and its sample count; 0 when the
// movie cannot be read.  `work` is a caller's work slot.
int64_t PlayerApi_GetTrackDataSize(PlayerSlot* work, const std::string& path, uint32_t* entryCount);
// PlayerApi_GetMovieFrameSize (GetHeadPair), PlayerApi_GetMovieSampleCount
// (GetHeadWord) and PlayerApi_GetSampleRate: player/playerindex.h.

// Shows a failure code in a message box ("ERROR"); 1 for a success code
// (nothing shown), 0 for a failure.
int PlayerApi_ShowError(uint32_t code);
// Where the messages go (the skinned message box in the program; standard
// error until one is set).  An empty sink restores the default.
using PlayerErrorSink = std::function<void(const std::string& text, const std::string& caption)>;
void PlayerApi_SetErrorSink(PlayerErrorSink sink);

}  // namespace qv
