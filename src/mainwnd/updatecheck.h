// The update check's rules, apart from the network: which files it reads,
// how a version file's text becomes a version, how versions are compared and
// how the message for the update window is written.
//
// RunUpdateCheck asks an HttpFetch for each file; inetconnection.h gives it
// the real one (libcurl), tests a local server.  No Qt; any thread.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

namespace qv::mainwnd {

// The program's own version and the recorder whose firmware is checked.
inline constexpr std::string_view kProgramVersion = "1.0.1";
inline constexpr std::string_view kCheckedRecorderId = "6043-KDR";
// What precedes the version in the firmware and viewer files.
inline constexpr std::string_view kVersionMarker = "VER:";
// The longest version text kept (longer ones are cut).
inline constexpr size_t kVersionTextMax = 259;
// The longest message, in UTF-16 units (what the update window counts).
inline constexpr size_t kUpdateMessageMax = 1300;
// The longest body a download takes; a longer one is a failed download.
inline constexpr size_t kDownloadMax = 64 * 1024;

// Version files and download pages on the update host.
struct UpdateItem {
  std::string_view versionFile;
  std::string_view downloadPage;
};
inline constexpr UpdateItem kFirmwareItem{"/taiou/dr_updata/tolvan801/tolvan801_sw_version.txt",
                                          "/taiou/dr_updata/tolvan801/tolvan801.html"};
inline constexpr UpdateItem kViewerItem{"/0_recorder/viewer/Quorvex/Quorvex_version.txt",
                                        "/0_recorder/viewer/Quorvex/viewer.html"};
inline constexpr UpdateItem kGpsItem{"/gps_data/drgps_01.txt", "/taiou/gps_data/dr_01/dr01.html"};

// What the card's format description tells the check, in this order.
struct UpdateInputs {
  std::string firmwareVersion;  // "%d.%d.%d"
  std::string gpsDataVersion;   // yymmdd
  std::string unused;
  std::string recorderId;       // 8 characters
};

// Reads a URL: the body of a 2xx answer (at most kDownloadMax bytes), or
// nothing on any failure.  Called on the update-check thread.
class HttpFetch {
 public:
  virtual ~HttpFetch() = default;
  virtual std::optional<std::string> Get(const std::string& url) = 0;
};

// Text taken from the server reduced to printable text: valid UTF-8 only
// (other bytes are dropped), without C0 and C1 control characters (CR and LF
// stay) and the terminal control sequences they start, DEL, the Unicode
// bidirectional controls (embeddings, overrides, isolates and marks) and the
// byte-order mark.  Nothing the server sends
// can then hide text or turn the window's lines around.
std::string PrintableServerText(std::string_view text);

// A downloaded body as a version text: of its printable text
// (PrintableServerText), the first line (up to CR or LF), without
// surrounding blanks, at most kVersionTextMax bytes (never inside a UTF-8
// sequence).  With `afterMarker` the line starts after the first "VER:" and
// a body without one gives nothing.  A text that comes out empty is nothing
// as well: the download failed.
std::optional<std::string> VersionFromBody(std::string_view body, bool afterMarker);

// "http://" + host + path; the host may carry a port ("127.0.0.1:8080") and
// may already start with "http://" or "https://".
std::string UpdateUrl(std::string_view host, std::string_view path);

// Text for the message: '&', '<', '>' and '"' as entities, so that the only
// markup in a message is the links its template writes.
std::string EscapeMessageText(std::string_view text);

// One item with news, as the message shows it.
struct UpdateBlock {
  std::string title;
  std::string current;
  std::string latest;
  std::string url;
};

// The message for up to three blocks (firmware, viewer, GPS data in that
// order): the head, then each block with its link; every text in it is
// escaped (EscapeMessageText).  Only whole blocks go in: those that would
// take the text past kUpdateMessageMax are left out, so a link is never
// cut.  Empty when no block fits (or none is given).
std::string FormatUpdateMessage(const UpdateBlock* blocks, size_t count);

// What the check found so far, by item.
struct UpdateNews {
  std::optional<UpdateBlock> firmware;
  std::optional<UpdateBlock> viewer;
  std::optional<UpdateBlock> gpsData;
};
// The message for the news found so far; empty when there is none.
std::string FormatUpdateMessage(const UpdateNews& news);

// The two parts of the check against `host` (nothing when the host is empty
// or `stop` was set on the way).  The viewer's part needs nothing of the
// card and runs at start-up: its block when the server offers another
// version.  The card's part runs once the card's format description is
// known: the firmware block (only for the checked recorder) and the
// GPS-data block (only when the GPS-data version is known); neither when
// the GPS-data file is needed and cannot be read.
std::optional<UpdateBlock> CheckViewerUpdate(std::string_view host, HttpFetch& fetch,
                                             const std::atomic<bool>* stop = nullptr);
UpdateNews CheckCardUpdate(const UpdateInputs& in, std::string_view host, HttpFetch& fetch,
                           const std::atomic<bool>* stop = nullptr);

// UTF-16 units of a UTF-8 text.
size_t Utf16Length(std::string_view text);

}  // namespace qv::mainwnd
