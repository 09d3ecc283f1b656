// The main window's application messages and timers, as data.
//
// Children, workers and the main window itself talk to the main window
// through numbered messages in the application range (0x8000 + n, posted
// through an AppMessagePort or called directly on the window thread).  Each
// number the main window receives is named here once; the table below says
// who sends it and whether the window handles it or maps it to nothing, and
// the window registers its handlers from the table.
//
// Numbers are named beside their senders; the table below takes them from
// there: the map's (map/mapmessages.h), the panels' (panels/
// panelmessages.h), the source watcher's (recording/discovery.h), the tick
// worker's kMsgTick and kMsgTickLimit (player/playermessages.h) and the
// sliders' kMsgSliderMove/Down/Up (skin/skincontrols.h).  The entries below
// that take such a number keep the name the main window's code uses.  The
// main window's kMsgLogoShow to the logo window is named beside the logo
// (skin/logodlg.h).
//
// The video panes receive the player's own notices, which the player names:
// 0x8000 + 0x3E8 (a frame waits), + 0x3E9 (mapped, does nothing), + 0x3EA
// (presentation ended) and + 0x3EB (ready).  A pane turns the last two into
// direct calls on the main window (kMsgPanePresentationEnded and
// kMsgPaneTopologyReady below).
//
// No sender, no handler: these numbers belong to the message family but
// nothing in the program sends them, so the main window registers nothing
// for them and a stray one is dropped:
//   0x8000 + 0x1    (end of presentation; the panes' direct calls replace it)
//   0x8000 + 0x3    (drive-data refresh)
//   0x8000 + 0x4    (the event notice of a playback path this program does
//                    not have)
//   0x8000 + 0x7    (apply the zoom views)
//   0x8000 + 0x321  (shell change notice)
//   timer 104
// The display-scale change notice of the window system has no counterpart
// either: Qt reports screen changes through its screen signals.
#pragma once

#include <cstdint>
#include <span>

#include "map/mapmessages.h"
#include "panels/panelmessages.h"
#include "recording/discovery.h"

namespace qv::mainwnd {

// The start of the application range (the same number as the message
// port's kWmApp; this header stays free of Qt).
constexpr uint32_t kAppRange = 0x8000;

enum MainMessage : uint32_t {
  kMsgProgress = kAppRange + 0x8,                  // file worker: done / total
  kMsgResetZoomView = kAppRange + 0x9,             // itself on timer 105, a pop-out on release: 0 / 2 = rear
  kMsgMapLoaded = qv::kMsgMapPageLoaded,           // map wrap: 0 / 0
  kMsgPrevEventMark = qv::kMsgGraphPreviousEvent,  // G-sensor graph: 0 / 0
  kMsgNextEventMark = qv::kMsgGraphNextEvent,      // G-sensor graph: 0 / 0
  kMsgDisplaySwitch = kAppRange + 0x1F5,           // settings panel: index 0..3 / new state
  kMsgPaneContextMenu = kAppRange + 0x25C,         // video pane, direct call: point, pane
  kMsgPaneZoomClick = kAppRange + 0x25F,           // video pane, direct call: camera, point
  kMsgPanePresentationEnded = kAppRange + 0x260,   // video pane, direct call: 0 / camera
  kMsgPaneTopologyReady = kAppRange + 0x261,       // video pane, direct call: 0 / camera
  kMsgInfoItemToggle = qv::kMsgInfoToggle,         // information panel: index / state
  kMsgFolderSelected = kAppRange + 0x456,          // folder tree, direct call: the folder
  kMsgSourceGone = qv::kMsgMovieResourceRemoved,   // source watcher: 0 / 0
  kMsgPairDataReady = kAppRange + 0x515,           // prepare-pair thread: 0 / 0
  kMsgWorkerDone = kAppRange + 0x516,              // file workers: 0 / 0
  kMsgDeleteDone = kAppRange + 0x517,              // delete worker: 0 / 0
  kMsgJoinDone = kAppRange + 0x518,                // join worker: 0 / 0
  kMsgCsvDone = kAppRange + 0x519,                 // CSV worker: 0 / 0
  kMsgPostInit = kAppRange + 0x51A,                // itself, end of start-up: 0 / 0
  kMsgWorkAreaChanged = kAppRange + 0x51B,         // screen geometry signals: code / value
  kMsgPlayerError = kAppRange + 0x521,             // the player's error sink, the window's open: open serial / 0
  kMsgPairOpened = kAppRange + 0x522,              // open-pair thread: ticket / 0
  kMsgPopoutPainted = kAppRange + 0x76D,           // a pop-out after painting: 0 / pop-out
  kMsgPopoutCaptionDoubleClick = kAppRange + 0x76F,  // a pop-out: 0 / 0
  kMsgPopoutResized = kAppRange + 0x770,           // a pop-out after resizing: 0 / pop-out
  kMsgUpdateReady = kAppRange + 0x7D1,             // update-check thread: 0 / 0
  // Mapped to a handler that does nothing.
  kMsgIgnored2 = kAppRange + 0x2,
  kMsgIgnored25D = kAppRange + 0x25D,
  kMsgIgnored25E = kAppRange + 0x25E,
  kMsgListDoubleClick = kAppRange + 0x385,         // recording list, double click
  kMsgGaugeWindow = qv::kMsgGaugeWindowGone,       // gauge window
  kMsgPopoutClosed = kAppRange + 0x76E,            // a pop-out's close button (it only hides)
};

// kMsgWorkAreaChanged's notification code for "the work area moved".
constexpr uintptr_t kWorkAreaPosChanged = 1;
// kMsgResetZoomView's source for the rear pane and the movie pop-out.
constexpr intptr_t kResetZoomRear = 2;

// How a message reaches the main window.
enum class MessageRoute {
  kPostedByThread,  // posted from a worker thread
  kPostedByWindow,  // posted on the window thread (a child or the window itself)
  kDirectCall,      // a child calls the handler directly on the window thread
  kNoOp,            // mapped to a handler that does nothing
};

struct MessageRow {
  uint32_t message;
  MessageRoute route;
  const char* name;    // for the log
  const char* sender;  // who sends it
};

// Every message the main window registers a handler for, in number order.
std::span<const MessageRow> MainMessageTable();
// The row of `message`, or null when the main window has no handler for it.
const MessageRow* FindMainMessage(uint32_t message);

// Timers of the main window.
enum MainTimer : int {
  kTimerPlaybackTick = 100,   // 30 ms while playing
  kTimerOpenSelection = 101,  // 500 ms, one shot: open the selected pair
  kTimerOpenTimeout = 102,    // 5000 ms: give up waiting for the pair
  kTimerIdle = 103,           // 1000 ms: idle processing
  kTimerAfterMove = 105,      // double-click time / 4, one shot: re-layout after a move
  kTimerRateDebounce = 106,   // 1000 ms: debounce of a rate change
  kTimerBindPause = 107,      // the rate change's pause, one shot: the bind goes on
};
constexpr int kPlaybackTickMs = 30;
constexpr int kOpenSelectionMs = 500;
constexpr int kOpenTimeoutMs = 5000;
constexpr int kIdleMs = 1000;
constexpr int kRateDebounceMs = 1000;
// Timer 105's period for a double-click time.
constexpr int AfterMoveMs(int doubleClickMs) { return doubleClickMs / 4; }

// Timers of a video pane, both for the double-click time: a single click
// from a double click.
enum PaneTimer : int {
  kTimerPaneDown = 200,
  kTimerPaneUp = 201,
};

}  // namespace qv::mainwnd
