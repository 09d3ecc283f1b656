#include "mainwnd/mainmessages.h"

#include <algorithm>
#include <array>

#include "player/playermessages.h"
#include "skin/skincontrols.h"

namespace qv::mainwnd {
namespace {

using R = MessageRoute;

constexpr std::array kRows = {
    MessageRow{kMsgIgnored2, R::kNoOp, "Ignored2", "nobody"},
    MessageRow{qv::kMsgTick, R::kPostedByThread, "Tick", "tick worker"},
    MessageRow{qv::kMsgTickLimit, R::kPostedByThread, "TickLimit", "tick worker"},
    MessageRow{kMsgProgress, R::kPostedByThread, "Progress", "file-operation worker"},
    MessageRow{kMsgResetZoomView, R::kPostedByWindow, "ResetZoomView", "main window (timer 105), pop-outs"},
    MessageRow{qv::kMsgSliderMove, R::kPostedByWindow, "SliderMove", "sliders"},
    MessageRow{qv::kMsgSliderDown, R::kPostedByWindow, "SliderDown", "sliders"},
    MessageRow{qv::kMsgSliderUp, R::kPostedByWindow, "SliderUp", "sliders"},
    MessageRow{kMsgMapLoaded, R::kPostedByWindow, "MapLoaded", "map wrap"},
    MessageRow{kMsgMapPointClicked, R::kPostedByWindow, "MapPointClicked", "map wrap"},
    MessageRow{kMsgPrevEventMark, R::kPostedByWindow, "PrevEventMark", "G-sensor graph"},
    MessageRow{kMsgNextEventMark, R::kPostedByWindow, "NextEventMark", "G-sensor graph"},
    MessageRow{kMsgDisplaySwitch, R::kPostedByWindow, "DisplaySwitch", "settings panel"},
    MessageRow{kMsgPaneContextMenu, R::kDirectCall, "PaneContextMenu", "video pane"},
    MessageRow{kMsgIgnored25D, R::kNoOp, "Ignored25D", "nobody"},
    MessageRow{kMsgIgnored25E, R::kNoOp, "Ignored25E", "nobody"},
    MessageRow{kMsgPaneZoomClick, R::kDirectCall, "PaneZoomClick", "video pane"},
    MessageRow{kMsgPanePresentationEnded, R::kDirectCall, "PanePresentationEnded", "video pane"},
    MessageRow{kMsgPaneTopologyReady, R::kDirectCall, "PaneTopologyReady", "video pane"},
    MessageRow{kMsgInfoItemToggle, R::kPostedByWindow, "InfoItemToggle", "information panel"},
    MessageRow{kMsgListDoubleClick, R::kNoOp, "ListDoubleClick", "recording list"},
    MessageRow{kMsgFolderSelected, R::kDirectCall, "FolderSelected", "folder tree"},
    MessageRow{kMsgSourceGone, R::kPostedByThread, "SourceGone", "source watcher"},
    MessageRow{kMsgPairDataReady, R::kPostedByThread, "PairDataReady", "prepare-pair thread"},
    MessageRow{kMsgWorkerDone, R::kPostedByThread, "WorkerDone", "file-operation workers"},
    MessageRow{kMsgDeleteDone, R::kPostedByThread, "DeleteDone", "delete worker"},
    MessageRow{kMsgJoinDone, R::kPostedByThread, "JoinDone", "join worker"},
    MessageRow{kMsgCsvDone, R::kPostedByThread, "CsvDone", "CSV worker"},
    MessageRow{kMsgPostInit, R::kPostedByWindow, "PostInit", "main window, end of start-up"},
    MessageRow{kMsgWorkAreaChanged, R::kPostedByWindow, "WorkAreaChanged", "screen geometry signals"},
    MessageRow{kMsgPlayerError, R::kPostedByThread, "PlayerError", "the player's error sink"},
    MessageRow{kMsgPairOpened, R::kPostedByThread, "PairOpened", "open-pair thread"},
    MessageRow{kMsgGaugeWindow, R::kNoOp, "GaugeWindow", "gauge window"},
    MessageRow{kMsgPopoutPainted, R::kPostedByWindow, "PopoutPainted", "pop-outs"},
    MessageRow{kMsgPopoutClosed, R::kNoOp, "PopoutClosed", "pop-outs"},
    MessageRow{kMsgPopoutCaptionDoubleClick, R::kPostedByWindow, "PopoutCaptionDoubleClick", "pop-outs"},
    MessageRow{kMsgPopoutResized, R::kPostedByWindow, "PopoutResized", "pop-outs"},
    MessageRow{kMsgUpdateReady, R::kPostedByThread, "UpdateReady", "update-check thread"},
};

constexpr bool SortedAndUnique() {
  for (size_t i = 1; i < kRows.size(); ++i) {
    if (kRows[i - 1].message >= kRows[i].message) return false;
  }
  return true;
}
static_assert(SortedAndUnique(), "the message table is kept in number order, each number once");

}  // namespace

std::span<const MessageRow> MainMessageTable() { return kRows; }

const MessageRow* FindMainMessage(uint32_t message) {
  auto it = std::lower_bound(kRows.begin(), kRows.end(), message,
                             [](const MessageRow& row, uint32_t m) { return row.message < m; });
  return (it != kRows.end() && it->message == message) ? &*it : nullptr;
}

}  // namespace qv::mainwnd
