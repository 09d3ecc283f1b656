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

// The code point of the well-formed UTF-8 sequence at the start of `s` and
// its length; 0 for a byte that starts no well-formed sequence (a stray
// continuation, an overlong form, a surrogate, past U+10FFFF, cut short).
size_t DecodeUtf8(std::string_view s, char32_t& c) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  size_t n;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    c = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(i) & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
  return n;
}

// What a version text may not hold: controls (line breaks aside), the
// bidirectional controls and the byte-order mark.
bool IsUnprintable(char32_t c) {
  if (c == '\r' || c == '\n') return false;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  if (c == 0x061C || c == 0x200E || c == 0x200F) return true;  // bidi marks
  if (c >= 0x202A && c <= 0x202E) return true;                  // embeddings and overrides
  if (c >= 0x2066 && c <= 0x2069) return true;                  // isolates
  return c == 0xFEFF;
}

std::string Block(const UpdateBlock& b) {
  const std::string url = EscapeMessageText(b.url);
  std::string s;
  s += EscapeMessageText(b.title);
  s += ':';
  s += kCrLf;
  s += EscapeMessageText(GetUiText(UiText::UpdateCurrentVersion));
  s += EscapeMessageText(b.current);
  s += "   \xE2\x86\x92   ";  // →
  s += EscapeMessageText(GetUiText(UiText::UpdateNewVersion));
  s += EscapeMessageText(b.latest);
  s += kCrLf;
  s += kCrLf;
  s += "URL : <a href=\"" + url + "\">" + url + "</a>";
  return s;
}

// A version file's version, or nothing when it cannot be read or holds none.
std::optional<std::string> FetchVersion(HttpFetch& fetch, std::string_view host, const UpdateItem& item,
                                        bool afterMarker) {
  const std::optional<std::string> body = fetch.Get(UpdateUrl(host, item.versionFile));
  return body ? VersionFromBody(*body, afterMarker) : std::nullopt;
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

std::string PrintableServerText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    const size_t n = DecodeUtf8(text, c);
    if (n == 0) {
      text.remove_prefix(1);
      continue;
    }
    if (!IsUnprintable(c)) out.append(text.substr(0, n));
    text.remove_prefix(n);
    // A terminal's control sequence (ESC '[' or CSI, parameters, final
    // character) goes as a whole, not only its introducer.
    if (c == 0x9B || (c == 0x1B && !text.empty() && text.front() == '[')) {
      if (c == 0x1B) text.remove_prefix(1);
      while (!text.empty() && text.front() >= 0x20 && text.front() <= 0x3F) text.remove_prefix(1);
      if (!text.empty() && text.front() >= 0x40 && text.front() <= 0x7E) text.remove_prefix(1);
    }
  }
  return out;
}

std::string EscapeMessageText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> VersionFromBody(std::string_view raw, bool afterMarker) {
  const std::string printable = PrintableServerText(raw);
  std::string_view body = printable;
  if (afterMarker) {
    const size_t at = body.find(kVersionMarker);
    if (at == std::string_view::npos) return std::nullopt;
    body.remove_prefix(at + kVersionMarker.size());
  }
  const size_t end = body.find_first_of(kCrLf);
  if (end != std::string_view::npos) body = body.substr(0, end);
  while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
  while (!body.empty() && IsBlank(body.back())) body.remove_suffix(1);
  if (body.empty()) return std::nullopt;
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

std::string FormatUpdateMessage(const UpdateNews& news) {
  UpdateBlock blocks[3];
  size_t count = 0;
  for (const std::optional<UpdateBlock>* b : {&news.firmware, &news.viewer, &news.gpsData}) {
    if (*b) blocks[count++] = **b;
  }
  return count ? FormatUpdateMessage(blocks, count) : std::string();
}

std::optional<UpdateBlock> CheckViewerUpdate(std::string_view host, HttpFetch& fetch, const std::atomic<bool>* stop) {
  if (host.empty() || Stopped(stop)) return std::nullopt;
  const std::optional<std::string> latest = FetchVersion(fetch, host, kViewerItem, true);
  if (!latest || *latest == kProgramVersion || Stopped(stop)) return std::nullopt;
  return UpdateBlock{GetUiText(UiText::UpdateViewer), std::string(kProgramVersion), *latest,
                     UpdateUrl(host, kViewerItem.downloadPage)};
}

UpdateNews CheckCardUpdate(const UpdateInputs& in, std::string_view host, HttpFetch& fetch,
                           const std::atomic<bool>* stop) {
  UpdateNews news;
  if (host.empty()) return news;
  if (in.recorderId == kCheckedRecorderId && !Stopped(stop)) {
    const std::optional<std::string> latest = FetchVersion(fetch, host, kFirmwareItem, true);
    if (latest && !in.firmwareVersion.empty()) {
      const std::string known = TrimVersionText(in.firmwareVersion);
      const std::string offered = TrimVersionText(*latest);
      if (known != offered)
        news.firmware = UpdateBlock{GetUiText(UiText::UpdateFirmware), known, offered,
                                    UpdateUrl(host, kFirmwareItem.downloadPage)};
    }
  }
  if (!in.gpsDataVersion.empty()) {
    // Without the GPS-data file the card's part tells nothing at all.
    const std::optional<std::string> latest = Stopped(stop) ? std::nullopt : FetchVersion(fetch, host, kGpsItem, false);
    if (!latest) return {};
    const std::string known = FormatDateText6(in.gpsDataVersion);
    const std::string offered = FormatDateText6(*latest);
    if (known != offered)
      news.gpsData =
          UpdateBlock{GetUiText(UiText::UpdateGpsData), known, offered, UpdateUrl(host, kGpsItem.downloadPage)};
  }
  if (Stopped(stop)) return {};
  return news;
}

}  // namespace qv::mainwnd
