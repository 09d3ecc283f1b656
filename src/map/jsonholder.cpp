#include "map/jsonholder.h"

#include "map/mapscript.h"

#include <cmath>

#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv {

namespace {

// One JSON string's text with its escapes: the script literal minus the
// "<" escape, which JSON readers take too.
std::string Quoted(std::string_view s) { return ScriptString(s); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Four hex digits at text[i..]; -1 when they are not there.
long Hex4(std::string_view text, size_t i) {
  if (i + 4 > text.size()) return -1;
  long v = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int h = HexValue(text[i + k]);
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

}  // namespace

void CJsonHolder::Add(const std::string& key, const std::string& value, const std::string& separator) {
  entries_[key] = Entry{value, separator};
}

std::string CJsonHolder::Serialize() const {
  std::string s = "{";
  for (const auto& [key, e] : entries_) {
    s += Quoted(key);
    s += ':';
    s += Quoted(e.value);
    s += e.separator;
  }
  s += '}';
  return s;
}

std::string CJsonHolder::Value(const std::string& key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? std::string() : it->second.value;
}

void CJsonHolder::Parse(std::string_view text) {
  // 0 outside an object, 1 between entries, 2 in a key, 3 after a key,
  // 4 after the colon, 5 in a value, 6 after a value.
  int state = 0;
  std::string key, value;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (state == 2 || state == 5) {
      std::string& buf = state == 2 ? key : value;
      if (c == '"') {
        state = state == 2 ? 3 : 6;
      } else if (c == '\\' && i + 1 < text.size()) {
        const char e = text[++i];
        switch (e) {
          case 'n': buf += '\n'; break;
          case 'r': buf += '\r'; break;
          case 't': buf += '\t'; break;
          case 'b': buf += '\b'; break;
          case 'f': buf += '\f'; break;
          case 'u': {
            long cp = Hex4(text, i + 1);
            if (cp < 0) break;  // a broken escape is dropped
            i += 4;
            if (cp >= 0xD800 && cp < 0xDC00 && i + 2 < text.size() && text[i + 1] == '\\' && text[i + 2] == 'u') {
              const long lo = Hex4(text, i + 3);
              if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 6;
              }
            }
            if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // a lone surrogate
            AppendUtf8(buf, static_cast<char32_t>(cp));
            break;
          }
          default: buf += e; break;  // \" \\ \/ and anything else as itself
        }
      } else {
        buf += c;
      }
      continue;
    }
    switch (c) {
      case '{': state = 1; key.clear(); value.clear(); break;
      case '"':
        if (state == 1) state = 2;
        else if (state == 4) state = 5;
        break;
      case ':':
        if (state == 3) state = 4;
        break;
      case ',':
        if (state == 6) {
          entries_[key] = Entry{value, ","};
          key.clear();
          value.clear();
          state = 1;
        }
        break;
      case '}':
        if (state == 1) {
          state = 0;
        } else if (state == 6) {
          entries_[key] = Entry{value, ""};
          key.clear();
          value.clear();
          state = 0;
        }
        break;
      default: break;
    }
  }
}

std::string UpdateMessageJson(double lat, double lng, std::string_view status) {
  auto text = [](double v) { return FormatFixed(std::isfinite(v) ? v : 1000.0, 6); };
  CJsonHolder h;
  h.Add("val_command", "update", ",");
  h.Add("map_lat", text(lat), ",");
  h.Add("map_lng", text(lng), ",");
  h.Add("map_status", std::string(status), ",");
  h.Add("val_end", "", "");
  return h.Serialize();
}

}  // namespace qv
