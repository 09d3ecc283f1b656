#include "mainwnd/updatecheck.h"

#include "platform/apphelpers.h"
#include "uitext/uitext.h"

namespace qv::mainwnd {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// At most `max` bytes of `text`, backed off to the start of a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, size_t max) {
  if (text.size() <= max) return text;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(); }

std::string Block(const UpdateBlock& b) {
  std::string s;
  s += b.title;
  s += ':';
  s += kCrLf;
  s += GetUiText(UiText::UpdateCurrentVersion);
  s += b.current;
  s += "   \xE2\x86\x92   ";  // →
  s += GetUiText(UiText::UpdateNewVersion);
  s += b.latest;
  s += kCrLf;
  s += kCrLf;
  s += "URL : <a href=\"" + b.url + "\">" + b.url + "</a>";
  return s;
}

}  // namespace

size_t Utf16Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    n += c >= 0xF0 ? 2 : 1;            // four-byte sequences need a surrogate pair
  }
  return n;
}

std::optional<std::string> VersionFromBody(std::string_view body, bool afterMarker) {
  if (afterMarker) {
    const size_t at = body.find(kVersionMarker);
    if (at == std::string_view::npos) return std::nullopt;
    body.remove_prefix(at + kVersionMarker.size());
  }
  const size_t end = body.find_first_of(kCrLf);
  if (end != std::string_view::npos) body = body.substr(0, end);
  while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
  while (!body.empty() && IsBlank(body.back())) body.remove_suffix(1);
  return std::string(CutUtf8(body, kVersionTextMax));
}

std::string UpdateUrl(std::string_view host, std::string_view path) {
  std::string url;
  if (host.substr(0, 7) != "http://" && host.substr(0, 8) != "https://") url = "http://";
  url += host;
  while (!url.empty() && url.back() == '/') url.pop_back();
  url += path;
  return url;
}

std::string FormatUpdateMessage(const UpdateBlock* blocks, size_t count) {
  std::string text = GetUiText(UiText::UpdateHead);
  text += kCrLf;
  text += kCrLf;
  size_t taken = 0;
  for (size_t i = 0; i < count; ++i) {
    std::string next = taken == 0 ? Block(blocks[i]) : std::string("\r\n\r\n\r\n") + Block(blocks[i]);
    // A text of two blocks or more ends with one more line break: leave room
    // for it whenever this block would be the second or later.
    const size_t tail = taken >= 1 ? 2 : 0;
    if (Utf16Length(text) + Utf16Length(next) + tail > kUpdateMessageMax) break;
    text += next;
    ++taken;
  }
  if (taken == 0) return {};
  if (taken >= 2) text += kCrLf;
  return text;
}

std::string RunUpdateCheck(const UpdateInputs& in, std::string_view host, HttpFetch& fetch,
                           const std::atomic<bool>* stop) {
  if (host.empty()) return {};
  UpdateBlock blocks[3];
  size_t count = 0;

  if (in.recorderId == kCheckedRecorderId && !Stopped(stop)) {
    const std::optional<std::string> body = fetch.Get(UpdateUrl(host, kFirmwareItem.versionFile));
    const std::optional<std::string> latest = body ? VersionFromBody(*body, true) : std::nullopt;
    if (latest && !in.firmwareVersion.empty()) {
      const std::string known = TrimVersionText(in.firmwareVersion);
      const std::string offered = TrimVersionText(*latest);
      if (known != offered)
        blocks[count++] = {GetUiText(UiText::UpdateFirmware), known, offered,
                           UpdateUrl(host, kFirmwareItem.downloadPage)};
    }
  }

  if (!Stopped(stop)) {
    const std::optional<std::string> body = fetch.Get(UpdateUrl(host, kViewerItem.versionFile));
    const std::optional<std::string> latest = body ? VersionFromBody(*body, true) : std::nullopt;
    if (latest && *latest != kProgramVersion)
      blocks[count++] = {GetUiText(UiText::UpdateViewer), std::string(kProgramVersion), *latest,
                         UpdateUrl(host, kViewerItem.downloadPage)};
  }

  if (!in.gpsDataVersion.empty()) {
    if (Stopped(stop)) return {};
    const std::optional<std::string> body = fetch.Get(UpdateUrl(host, kGpsItem.versionFile));
    // Without the GPS file there is no message at all.
    if (!body) return {};
    const std::string known = FormatDateText6(in.gpsDataVersion);
    const std::string offered = FormatDateText6(VersionFromBody(*body, false).value_or(std::string()));
    if (known != offered)
      blocks[count++] = {GetUiText(UiText::UpdateGpsData), known, offered, UpdateUrl(host, kGpsItem.downloadPage)};
  }

  if (count == 0 || Stopped(stop)) return {};
  return FormatUpdateMessage(blocks, count);
}

}  // namespace qv::mainwnd
