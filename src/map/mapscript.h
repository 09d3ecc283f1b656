// The text the program hands the map page: the scripts it runs there, the GPS
// arrays, the page state and the map library's address.  Pure functions over
// plain data (no Qt, no player), so they are tested without a display.
//
// Every number goes through the locale-free helpers and is finite: a NaN or
// an infinity read from a card never reaches a script (a GPS sample carrying
// one is left out of the arrays, a G value or speed becomes 0, a position
// becomes the page's "no position" 1000).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/drivedata.h"

namespace qv {

// Scripts the program runs in the page.
inline constexpr std::string_view kScriptClearCrashPos = "cplist.ClearCrashPos()";
inline constexpr std::string_view kScriptRemoveLineList = "orbitgrplist.RemoveLineList()";
inline constexpr std::string_view kScriptCreateLine = "orbitgrplist.CreateLine()";
inline constexpr std::string_view kScriptMoveMarker = "orbitgrplist.MoveMarker()";
// "orbitgrplist.CreateGridLine(n)".
std::string CreateGridLineScript(int32_t grid);

// One event point for "cplist.AddCrashPos(...)", in the page's argument order.
struct CrashPosArgs {
  int32_t icolor = 0;  // EventMarkKind
  double levelX = 0.0, levelY = 0.0, levelZ = 0.0;
  int32_t ifile = 0;
  int32_t igrid = 0;
  int32_t ipos = 0;  // time-index position
  double lat = 0.0, lng = 0.0;
  int32_t valid = 0;
  double speed = 0.0;
  double direction = 0.0;
};
std::string AddCrashPosScript(const CrashPosArgs& a);
// The event point of a sensor sample and its linked GPS sample.
CrashPosArgs CrashPosOf(const SensorSample& mark, int32_t grid, int32_t position);

// The GPS array: lat, lng and time of every valid sample with finite
// coordinates, then the count of the elements before it.
std::vector<double> GpsArray(const std::vector<GpsSample>& samples);
// A number array as a script literal ("[1.5,2,3]"); "null" for none.
std::string ScriptArray(const std::optional<std::vector<double>>& values);

// A text as a quoted script/JSON string literal: quotes, backslashes,
// control characters and the two line separators escaped.
std::string ScriptString(std::string_view text);
// A finite number in the page's form; `fallback` for NaN and infinities.
std::string ScriptNumber(double value, double fallback = 0.0);
// The hidden inputs' form of a latitude or longitude ("1000" when not finite).
std::string PositionText(double degrees);

// What the page reads synchronously from the program, pushed with every
// script and answered at every one-second cycle (see mapbridge.h).
struct MapPageState {
  bool connect = false;        // what JS2C_ConnectTest answers
  int32_t relJpgNum = -1;      // current position index
  std::string mapUrl;          // JS2C_GetMapURL
  std::string tileUrl;         // tile address template; empty: no tiles
  std::vector<std::string> markNames;  // JS2C_GetMarkName 0..11
};
std::string PageStateJson(const MapPageState& s);
// "qvBridge.setState({...});" put in front of every script the program runs.
std::string StatePushScript(const MapPageState& s);
// "qvBridge.setGpsData([...]);" / "qvBridge.setGridData([...]|null);".
std::string GpsDataScript(const std::vector<double>& gps);
std::string GridDataScript(const std::optional<std::vector<double>>& grid);
// Writes the three hidden inputs (the page's form of the values).
std::string HiddenInputsScript(double lat, double lng, std::string_view status);

// The map library's address: the bundled library with the query the page's
// loader expects; the key is rebuilt from its stored bytes, each XORed with
// the next character of `host` (cycling).  An empty store gives "key=".
std::string DecodeMapKey(const std::vector<uint8_t>& stored, std::string_view host);
std::string MapLibraryUrl(std::string_view libraryUrl, const std::vector<uint8_t>& storedKey,
                          std::string_view host);

// The UI text number of an event kind's mark name, -1 outside 0..11.
int MarkNameTextNumber(int kind);
// The status text of a play state (0 "", 1 "pause", 2 "stop"); none for
// any other state.
std::optional<std::string> PlayStatusText(int state);
// The page zoom of the plain flavour: trunc(scale x 100) percent.
int PageZoomPercent(float uiScale);
// A clicked point's position brought into the movie: 0 .. positions - 1
// (0 when the movie has none).
int32_t ClampPointPosition(int64_t position, int64_t positions);

// The default tile server and its attribution.
inline constexpr std::string_view kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";

}  // namespace qv
