// What the map page calls in the program (its JS2C_ calls), as the map
// wrapper answers them; both map dialogs forward the page's calls here.
// Window thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "map/mapscript.h"

namespace qv {

class IHostWebViewFuncs {
 public:
  virtual ~IHostWebViewFuncs() = default;
  // 1 when the map display is on and the tile host answered the probe.
  virtual int ConnectTest() = 0;
  virtual void OnInitHtml() = 0;
  // GPS arrays (mapscript.h): the whole track; the playing pair's samples,
  // none when the data slot holds none (the text has no effect).
  virtual std::vector<double> GetGPSData() = 0;
  virtual std::optional<std::vector<double>> GetGridData(const std::string& text) = 0;
  virtual std::string GetMarkName(int kind) = 0;
  virtual std::string GetRcString(int number) = 0;
  virtual std::string GetRelJpgNum() = 0;
  virtual void DebLog(const std::string& text) = 0;
  virtual void OnClickCrashPoint(int32_t ifile, int32_t igrid, int32_t ipos, int32_t valid, double lat, double lng,
                                 double speed, double direction) = 0;
  virtual std::string GetMapURL() = 0;
  virtual void SetSend() = 0;
  // What the page reads synchronously, answered without side effects (the
  // bridge pushes it into the page; mapbridge.h).
  virtual MapPageState PageState() = 0;
};

}  // namespace qv
