#include "player/slotrules.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace qv {

MovieOpening FrameTimingVerdict(float durationSec, float frameMs) {
  if (!(frameMs > 0.0f)) return MovieOpening::kFailed;
  const bool fifteen = static_cast<int>(1000.0 / frameMs) == 15;
  return (durationSec > 2.0f || fifteen) ? MovieOpening::kOpens : MovieOpening::kTooShort;
}

RateChoice RateForCode(int code, int currentCode, bool canPlayBackwards) {
  switch (code) {
    case 2:
      return {2, 2.0f};
    case 4:
      return {4, 4.0f};
    case -2:
      return {-2, canPlayBackwards ? -2.0f : 0.5f};
    case -4:
      return {-4, canPlayBackwards ? -4.0f : 0.25f};
    case -1:
      if (canPlayBackwards) return {-1, -1.0f};
      if (currentCode == -2) return {1, 1.0f};
      if (currentCode == 1) return {-2, 0.5f};
      return {-1, 1.0f};
    default:
      return {code, 1.0f};
  }
}

int NextRateCode(int currentCode, bool faster, bool canPlayBackwards) {
  if (faster) {
    switch (currentCode) {
      case -4: return -2;
      case -2: return canPlayBackwards ? -1 : 1;
      case -1: return 1;
      case 1: return 2;
      case 2: return 4;
      case 4: return 4;
      default: return 1;
    }
  }
  switch (currentCode) {
    case -4: return 1;
    case -2: return -2;
    case -1: return -2;
    case 1: return -1;
    case 2: return 1;
    case 4: return 2;
    default: return 1;
  }
}

int64_t FramesFromTime(int64_t time, float frameMs) {
  const float unit = frameMs * 10000.0f;
  if (!(unit > 0.0f)) return 0;
  const float frames = static_cast<float>(time) / unit;
  if (!std::isfinite(frames) || std::fabs(frames) > 9.0e18f) return 0;
  return static_cast<int64_t>(frames);
}

int64_t TimeFromFrames(int64_t frames, float frameMs) {
  const float t = static_cast<float>(frames) * frameMs * 10000.0f;
  if (!std::isfinite(t) || std::fabs(t) > 9.0e18f) return 0;
  return static_cast<int64_t>(t);
}

bool ZoomRectAt(Rect& rect, int x, int y, float factor) {
  if (factor == 0.0f || std::isnan(factor) || rect.IsEmpty()) return false;
  const float w = static_cast<float>(rect.right - rect.left);
  const float h = static_cast<float>(rect.bottom - rect.top);
  const float gx = w * (factor - 1.0f);
  const float gy = h * (factor - 1.0f);
  const float fx = static_cast<float>(x) / w;
  const float fy = static_cast<float>(y) / h;
  const int64_t newLeft = int64_t(rect.left) - TruncToInt(fx * gx);
  const int64_t newRight = int64_t(rect.right) + TruncToInt((1.0f - fx) * gx);
  const int64_t newTop = int64_t(rect.top) - TruncToInt(fy * gy);
  const int64_t newBottom = int64_t(rect.bottom) + TruncToInt((1.0f - fy) * gy);
  if (newLeft > newRight) return false;
  // A result beyond the coordinate range is refused like a reversed one.
  for (int64_t v : {newLeft, newRight, newTop, newBottom})
    if (v < INT_MIN || v > INT_MAX) return false;
  rect = Rect(static_cast<int>(newLeft), static_cast<int>(newTop), static_cast<int>(newRight),
              static_cast<int>(newBottom));
  return true;
}

bool ZoomedViewRect(Size client, int zoomX, int zoomY, float factor, int offsetX, int offsetY, Rect* out) {
  if (client.width <= 0 || client.height <= 0) return false;
  Rect r(0, 0, client.width, client.height);
  if (!ZoomRectAt(r, zoomX, zoomY, factor)) return false;
  r.Offset(offsetX, offsetY);
  *out = r;
  return true;
}

bool LetterboxFit(const Rect& r, Size video, Size client, Rect* out) {
  if (video.width <= 0 || video.height <= 0 || client.width <= 0 || client.height <= 0) return false;
  if (r.IsEmpty()) return false;
  const double a = static_cast<double>(video.width) / video.height;
  int64_t w, h;
  if (static_cast<double>(client.width) / client.height <= a) {
    w = int64_t(r.right) - r.left;
    h = static_cast<int64_t>(static_cast<double>(w) / a);
  } else {
    h = int64_t(r.bottom) - r.top;
    w = static_cast<int64_t>(static_cast<double>(h) * a);
  }
  const int64_t left = (int64_t(r.right) - w + r.left) / 2;
  const int64_t top = (int64_t(r.top) + r.bottom - h) / 2;
  const int64_t right = (int64_t(r.right) + r.left + w) / 2 + 2;
  const int64_t bottom = (int64_t(r.top) + r.bottom + h) / 2 + 2;
  for (int64_t v : {left, top, right, bottom})
    if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom));
  return true;
}

OsdPlace OsdPlacement(Size video, Size client) {
  OsdPlace p;
  if (video.width <= 0 || video.height <= 0 || client.width <= 0 || client.height <= 0) return p;
  const float w = kOsdWidth * static_cast<float>(video.width) / client.width;
  const float h = kOsdHeight * static_cast<float>(video.height) / client.height;
  p.left = std::fmax(0.0f, 1.0f - w / client.width);
  p.top = std::fmax(0.0f, 1.0f - h / client.height);
  return p;
}

bool StartOnlyMarks(int64_t duration, int64_t position, int64_t otherDuration) {
  const int64_t longest = duration > otherDuration ? duration : otherDuration;
  const int64_t diff = duration > otherDuration ? duration - otherDuration : otherDuration - duration;
  return diff > 40 && duration + diff == longest && position + 60 >= duration;
}

int ResolutionClass(int height, uint8_t headByte27) {
  int c;
  if (height == 720) {
    c = 3;
  } else if (height == 1080) {
    c = 5;
  } else {
    return 0;
  }
  return headByte27 == 'H' ? c : c + 1;
}

std::string ErrorText(uint32_t code, const std::string& pluginText) {
  switch (code) {
    case kCodeNotImpl: return "E_NOTIMPL";
    case kCodeNoInterface: return "E_NOINTERFACE";
    case kCodePointer: return "E_POINTER";
    case kCodeOutOfMemory: return "E_OUTOFMEMORY";
    case kCodeInvalidArg: return "E_INVALIDARG";
    case kCodeNotConnected: return "VFW_E_NOT_CONNECTED";
    case kCodeWrongState: return "VFW_E_WRONG_STATE";
    case kCodePluginMissing:
      if (!pluginText.empty()) return pluginText;
      break;
    default:
      break;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const int digit = (code >> shift) & 0xF;
    if (hex.empty() && digit == 0 && shift > 0) continue;
    hex += kHex[digit];
  }
  return "Unknown 0x" + hex;
}

}  // namespace qv
