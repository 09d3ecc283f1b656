#include "map/mapscript.h"

#include <cmath>
#include <cstring>

#include "platform/numtext.h"

namespace qv {

namespace {

// Degrees outside these are no position (the page's "1000 or more").
bool IsFiniteDegrees(double lat, double lng) { return std::isfinite(lat) && std::isfinite(lng); }

}  // namespace

std::string ScriptNumber(double value, double fallback) {
  if (!std::isfinite(value)) value = std::isfinite(fallback) ? fallback : 0.0;
  if (value == 0.0) return "0";  // also -0
  return FormatShortest(value);
}

std::string PositionText(double degrees) { return ScriptNumber(degrees, 1000.0); }

std::string ScriptString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '<': out += "\\u003c"; continue;  // no "</script>" in a page's text
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      // U+2028 and U+2029 end a line inside older script engines' strings.
      out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::string CreateGridLineScript(int32_t grid) { return "orbitgrplist.CreateGridLine(" + FormatInt(grid) + ")"; }

std::string AddCrashPosScript(const CrashPosArgs& a) {
  std::string s = "cplist.AddCrashPos(";
  s += FormatInt(a.icolor) + ",";
  s += ScriptNumber(a.levelX) + "," + ScriptNumber(a.levelY) + "," + ScriptNumber(a.levelZ) + ",";
  s += FormatInt(a.ifile) + "," + FormatInt(a.igrid) + "," + FormatInt(a.ipos) + ",";
  s += PositionText(a.lat) + "," + PositionText(a.lng) + ",";
  // A point without finite coordinates is not valid, whatever its flag says.
  s += FormatInt(IsFiniteDegrees(a.lat, a.lng) ? a.valid : 0) + ",";
  s += ScriptNumber(a.speed) + "," + ScriptNumber(a.direction) + ")";
  return s;
}

CrashPosArgs CrashPosOf(const SensorSample& mark, int32_t grid, int32_t position) {
  CrashPosArgs a;
  a.icolor = mark.kind;
  a.levelX = mark.gX;
  a.levelY = mark.gY;
  a.levelZ = mark.gZ;
  a.ifile = 0;
  a.igrid = grid;
  a.ipos = position;
  if (mark.gps) {
    a.lat = mark.gps->latitude;
    a.lng = mark.gps->longitude;
    a.valid = mark.gps->valid;
    a.speed = mark.gps->speed;
    a.direction = mark.gps->direction;
  }
  return a;
}

std::vector<double> GpsArray(const std::vector<GpsSample>& samples) {
  std::vector<double> out;
  out.reserve(samples.size() * 3 + 1);
  for (const GpsSample& g : samples) {
    if (g.valid == 0 || !IsFiniteDegrees(g.latitude, g.longitude)) continue;
    out.push_back(g.latitude);
    out.push_back(g.longitude);
    out.push_back(static_cast<double>(g.time));
  }
  out.push_back(static_cast<double>(out.size()));
  return out;
}

std::string ScriptArray(const std::optional<std::vector<double>>& values) {
  if (!values) return "null";
  std::string s = "[";
  for (size_t i = 0; i < values->size(); ++i) {
    if (i) s += ',';
    s += ScriptNumber((*values)[i]);
  }
  s += ']';
  return s;
}

std::string PageStateJson(const MapPageState& st) {
  std::string s = "{\"connect\":";
  s += st.connect ? "1" : "0";
  s += ",\"relJpgNum\":" + ScriptString(FormatInt(st.relJpgNum));
  s += ",\"mapUrl\":" + ScriptString(st.mapUrl);
  s += ",\"tileUrl\":" + ScriptString(st.tileUrl);
  s += ",\"markNames\":[";
  for (size_t i = 0; i < st.markNames.size(); ++i) {
    if (i) s += ',';
    s += ScriptString(st.markNames[i]);
  }
  s += "]}";
  return s;
}

std::string StatePushScript(const MapPageState& s) { return "qvBridge.setState(" + PageStateJson(s) + ");"; }

std::string GpsDataScript(const std::vector<double>& gps) {
  return "qvBridge.setGpsData(" + ScriptArray(gps) + ");";
}

std::string GridDataScript(const std::optional<std::vector<double>>& grid) {
  return "qvBridge.setGridData(" + ScriptArray(grid) + ");";
}

std::string HiddenInputsScript(double lat, double lng, std::string_view status) {
  return "qvBridge.setInputs(" + ScriptString(PositionText(lat)) + "," + ScriptString(PositionText(lng)) + "," +
         ScriptString(status) + ");";
}

std::string DecodeMapKey(const std::vector<uint8_t>& stored, std::string_view host) {
  std::string key;
  if (host.empty()) return key;
  key.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) key += static_cast<char>(stored[i] ^ static_cast<uint8_t>(host[i % host.size()]));
  return key;
}

std::string MapLibraryUrl(std::string_view libraryUrl, const std::vector<uint8_t>& storedKey, std::string_view host) {
  std::string key = DecodeMapKey(storedKey, host);
  std::string url(libraryUrl);
  url += "?key=" + key + "&v=3&sensor=false&callback=loadLibs";
  // The plain key does not outlive the address.
  volatile char* p = key.data();
  for (size_t i = 0; i < key.size(); ++i) p[i] = 0;
  return url;
}

int MarkNameTextNumber(int kind) {
  static const int kNumbers[12] = {69, 70, 72, 71, 73, 74, 75, 76, 77, 67, 65, 66};
  return kind >= 0 && kind < 12 ? kNumbers[kind] : -1;
}

std::optional<std::string> PlayStatusText(int state) {
  switch (state) {
    case 0: return std::string();
    case 1: return std::string("pause");
    case 2: return std::string("stop");
    default: return std::nullopt;
  }
}

int PageZoomPercent(float uiScale) {
  // The scale is a float: 1.15f is a shade below 1.15, so take the percent
  // of the nearest thousandth before truncating.
  const double s = std::round(static_cast<double>(uiScale) * 1000.0) / 1000.0;
  return static_cast<int>(s * 100.0 + 1e-9);
}

int32_t ClampPointPosition(int64_t position, int64_t positions) {
  if (positions <= 0 || position < 0) return 0;
  if (position >= positions) return static_cast<int32_t>(positions - 1 > INT32_MAX ? INT32_MAX : positions - 1);
  return static_cast<int32_t>(position);
}

}  // namespace qv
