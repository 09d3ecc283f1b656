#include "recording/recordingname.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/pathutil.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

// A UTF-8 text as code points, with the byte offset of each (plus the end),
// so that positions count characters and cuts land on character bounds.
// A byte that does not start a valid sequence counts as one character.
struct Chars {
  std::u32string cp;
  std::vector<size_t> off;
};

Chars Decode(std::string_view s) {
  Chars c;
  c.cp.reserve(s.size());
  c.off.reserve(s.size() + 1);
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = 1;
    char32_t v = 0xFFFD;
    if (b < 0x80) {
      v = b;
    } else {
      size_t need = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
      if (need != 0 && i + need <= s.size()) {
        char32_t acc = b & (0x7F >> need);
        bool ok = true;
        for (size_t k = 1; k < need; ++k) {
          const unsigned char cb = static_cast<unsigned char>(s[i + k]);
          if ((cb & 0xC0) != 0x80) {
            ok = false;
            break;
          }
          acc = (acc << 6) | (cb & 0x3F);
        }
        if (ok) {
          v = acc;
          len = need;
        }
      }
    }
    c.cp.push_back(v);
    c.off.push_back(i);
    i += len;
  }
  c.off.push_back(s.size());
  return c;
}

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

bool IsAscii(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Character i of a name held as code points, or as bytes when it is ASCII
// (then each byte is its own code point).
char32_t CharAt(std::u32string_view n, size_t i) { return n[i]; }
char32_t CharAt(std::string_view n, size_t i) { return static_cast<unsigned char>(n[i]); }

// The recording-name pattern at position `p` of `n`: three digits, "_", six
// digits, a trigger letter or "_", a rate letter, "_", a camera letter, any
// character (as a regular expression's '.' would: not a line terminator) and
// the extension in upper or in lower case.
template <typename Text>
bool MatchesAt(Text n, size_t p, const char32_t* cameras, bool lower) {
  auto s = [&](size_t i) { return CharAt(n, p + i); };
  for (int i : {0, 1, 2, 4, 5, 6, 7, 8, 9})
    if (!IsDigit(s(static_cast<size_t>(i)))) return false;
  if (s(3) != U'_' || s(12) != U'_') return false;
  if (std::u32string_view(U"APGSM_").find(s(10)) == std::u32string_view::npos) return false;
  if (s(11) != U'N' && s(11) != U'T') return false;
  if (std::u32string_view(cameras).find(s(13)) == std::u32string_view::npos) return false;
  if (s(14) == U'\n' || s(14) == U'\r' || s(14) == 0x2028 || s(14) == 0x2029) return false;
  const char32_t* ext = lower ? U"mp4" : U"MP4";
  return s(15) == ext[0] && s(16) == ext[1] && s(17) == ext[2];
}

template <typename Text>
bool IsRecordingNameText(Text n, const char32_t* cameras) {
  if (n.size() > 3 && CharAt(n, 3) != U'_') return false;
  bool found = false;
  for (bool lower : {false, true}) {
    for (size_t p = 0; !found && p + 18 <= n.size(); ++p) found = MatchesAt(n, p, cameras, lower);
    if (found) break;
  }
  if (!found) return false;
  const char32_t t = CharAt(n, 10);
  return t == U'A' || t == U'G' || t == U'M' || t == U'P' || t == U'S';
}

bool IsRecordingName(const std::string& path, const char32_t* cameras) {
  const std::string_view name = BaseNameView(path);
  if (IsAscii(name)) return IsRecordingNameText(name, cameras);
  const std::u32string n = Decode(name).cp;
  return IsRecordingNameText(std::u32string_view(n), cameras);
}

// "F.MP4" -> "F.mp4": the camera letter stays, the extension goes lower case.
std::string LowerExtension(const std::string& suffix) {
  std::string s = suffix;
  for (size_t i = 1; i < s.size(); ++i)
    if (s[i] >= 'A' && s[i] <= 'Z') s[i] = static_cast<char>(s[i] - 'A' + 'a');
  return s;
}

// Replaces every `find` from `from` on.
bool ReplaceAll(std::string& s, const std::string& find, const std::string& replace, size_t from) {
  if (find.empty()) return false;
  bool any = false;
  for (size_t p = s.find(find, from); p != std::string::npos; p = s.find(find, p + replace.size())) {
    s.replace(p, find.size(), replace);
    any = true;
  }
  return any;
}

int DigitValue(char32_t c) { return IsDigit(c) ? static_cast<int>(c - U'0') : 0; }

// Two characters from position `p` of `s` as a number; non-digits and
// characters outside the text count as 0.
int DigitPair(const std::u32string& s, std::ptrdiff_t p) {
  auto at = [&](std::ptrdiff_t i) -> char32_t {
    return i >= 0 && i < static_cast<std::ptrdiff_t>(s.size()) ? s[static_cast<size_t>(i)] : 0;
  };
  return DigitValue(at(p)) * 10 + DigitValue(at(p + 1));
}

CivilTime FromDigitTexts(const std::u32string& date, std::ptrdiff_t d, const std::u32string& time, std::ptrdiff_t t) {
  return NormalizeCivil(2000 + DigitPair(date, d), DigitPair(date, d + 2), DigitPair(date, d + 4),
                        DigitPair(time, t), DigitPair(time, t + 2), DigitPair(time, t + 4));
}

}  // namespace

char32_t RecordingNameChar(const std::string& path, size_t index) {
  const std::string_view name = BaseNameView(path);
  // Fast path for the usual all-ASCII start of a name.
  bool ascii = name.size() > index;
  for (size_t i = 0; ascii && i <= index; ++i) ascii = static_cast<unsigned char>(name[i]) < 0x80;
  if (ascii) return static_cast<unsigned char>(name[index]);
  const std::u32string n = Decode(name).cp;
  return index < n.size() ? n[index] : 0;
}

bool IsRecordingFileName(const std::string& path) { return IsRecordingName(path, U"FR"); }
bool IsFrontRecordingFileName(const std::string& path) { return IsRecordingName(path, U"F"); }
bool IsRearRecordingFileName(const std::string& path) { return IsRecordingName(path, U"R"); }

int GetTriggerFlags(const std::string& path, uint32_t& mask) {
  switch (RecordingNameChar(path, 10)) {
    case U'A': mask |= kTriggerA; break;
    case U'M': mask |= kTriggerM; break;
    case U'G': mask |= kTriggerG; break;
    case U'P': mask |= kTriggerP; break;
    case U'S': mask |= kTriggerS; break;
    default: break;
  }
  return 1;
}

std::string GetTriggerText(const std::string& path) {
  const std::u32string n = Decode(BaseName(path)).cp;
  if (n.size() < 18) return {};
  const bool lapse = n[11] == U'T';
  if (!lapse && n[11] != U'N') return {};
  auto ui = [](UiText id) { return std::string(GetUiText(id)); };
  const std::string lapseText = ui(UiText::TriggerTimeLapse), parkingLapse = ui(UiText::TriggerParkingTimeLapse);
  switch (n[10]) {
    case U'A': return lapse ? lapseText : ui(UiText::TriggerNormal);
    case U'G': return lapse ? lapseText + "+" + ui(UiText::TriggerShock) : ui(UiText::TriggerShock);
    case U'M': return lapse ? lapseText + "+" + ui(UiText::TriggerManual) : ui(UiText::TriggerManual);
    case U'P': return lapse ? parkingLapse : ui(UiText::TriggerParking);
    case U'S': return lapse ? parkingLapse + "+" + ui(UiText::TriggerShock) : ui(UiText::TriggerParkingShock);
    default: return {};
  }
}

int FilterEntriesByTrigger(const std::vector<RecordingEntry>& entries, std::vector<RecordingEntry>& out,
                           const uint32_t flags[5]) {
  for (const RecordingEntry& e : entries) {
    const std::string& name = e.frontName.empty() ? e.rearName : e.frontName;
    int index = -1;
    switch (RecordingNameChar(name, 10)) {
      case U'A': index = 0; break;
      case U'G': index = 1; break;
      case U'M': index = 2; break;
      case U'P': index = 3; break;
      case U'S': index = 4; break;
      default: break;
    }
    if (index >= 0 && (flags[index] & 1) != 0) out.push_back(e);
  }
  return static_cast<int>(entries.size());
}

std::string GetPairStem(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return {};
  const Chars c = Decode(name.substr(0, dot));
  if (c.cp.size() < 2) return {};
  return name.substr(0, c.off[c.cp.size() - 2]);
}

std::string GetRecordingTitle(const std::string& path) {
  const std::string name = BaseName(path);
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return {};
  const std::string base = name.substr(0, dot);
  const Chars c = Decode(base);
  if (c.cp.size() <= 4) return {};
  const size_t end = std::min<size_t>(c.cp.size(), 4 + 14);
  return base.substr(c.off[4], c.off[end] - c.off[4]);
}

CivilTime GetRecordingDateTime(const std::string& path) {
  // For .../yyyyMMdd_nnn/NNN_hhmmssXY_C.MP4 the date digits yyMMdd begin 29
  // characters before the end and the time digits hhmmss 14 before it.
  const std::u32string p = Decode(path).cp;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(p.size());
  return FromDigitTexts(p, n - 29, p, n - 14);
}

CivilTime MakeLocalTimeFromDigits(const std::string& dateDigits, const std::string& timeDigits) {
  return FromDigitTexts(Decode(dateDigits).cp, 0, Decode(timeDigits).cp, 0);
}

std::string MakePartnerPath(const std::string& path, const std::string& find, const std::string& replace) {
  // The name only: the folders keep their names.
  const size_t slash = path.rfind('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  std::string partner = path;
  if (!ReplaceAll(partner, find, replace, name))
    ReplaceAll(partner, LowerExtension(find), LowerExtension(replace), name);
  return partner;
}

int ResolvePair(const std::string& path, const std::vector<RecordingEntry>& entries, std::string& front,
                std::string& rear) {
  std::string f, r;
  if (IsFrontRecordingFileName(path)) {
    f = path;
    r = MakePartnerPath(path, "F.MP4", "R.MP4");
  } else if (IsRearRecordingFileName(path)) {
    r = path;
    f = MakePartnerPath(path, "R.MP4", "F.MP4");
  } else {
    return 0;
  }
  for (const RecordingEntry& e : entries)
    if (!f.empty() && e.frontPath == f) return 0;
  for (const RecordingEntry& e : entries)
    if (!r.empty() && e.rearPath == r) return 0;
  front = std::move(f);
  rear = std::move(r);
  return 1;
}

}  // namespace qv
