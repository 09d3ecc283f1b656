#include "platform/uiscale.h"

namespace qv {

float UiScale = 0.0f;
float FontScale = 0.0f;

UiScales ComputeUiScales(int workWidth, int workHeight, int dpiX, int dpiY) {
  UiScales s;
  const float w = static_cast<float>(workWidth);
  const float h = static_cast<float>(workHeight);
  int dpi;
  // width / height > 1 (a zero height counts as infinitely wide).
  const bool landscape = workHeight != 0 ? w / h > 1.0f : workWidth > 0;
  if (landscape) {
    s.uiScale = h / 48.0f / 22.0f;
    dpi = dpiX;
  } else {
    s.uiScale = w / 48.0f / 22.0f * 7.0f * 0.125f;
    dpi = dpiY;
  }
  if (s.uiScale < 0) s.uiScale = 0;
  s.fontScale = dpi > 0 ? s.uiScale * (96.0f / static_cast<float>(dpi)) : 0.0f;
  return s;
}

float FitFactor(float uiScale, int workHeight) {
  const int d = ScaleInt(kDesignHeight, uiScale);
  if (d > 0 && workHeight < d) return static_cast<float>(workHeight) / static_cast<float>(d);
  return 1.0f;
}

int FontHeight(float fontScale, int points, int dpiY) {
  return -MulDiv(TruncToInt(fontScale * static_cast<float>(points)), dpiY, 72);
}

int ScaleInt(int value, float scale) { return TruncToInt(static_cast<float>(value) * scale); }

Rect ScaledChildRect(const Rect& childWindow, const Rect& parentWindow, Size clientSize, float scale) {
  return Rect::FromSize(ScaleInt(childWindow.left - parentWindow.left, scale),
                        ScaleInt(childWindow.top - parentWindow.top, scale), ScaleInt(clientSize.width, scale),
                        ScaleInt(clientSize.height, scale));
}

Rect ChildRectInParent(const Rect& childWindow, const Rect& parentWindow) {
  return childWindow.Offsetted(-parentWindow.left, -(parentWindow.top + 1));
}

Size ScaledBitmapSize(int w, int h, float scale) {
  if (h <= 0 || w <= 0) return {};
  const int height = ScaleInt(h, scale);
  const int width = (w % h == 0) ? (w / h) * height : ScaleInt(w, scale);
  return {width, height};
}

Size ScaledDrawSize(int w, int h, double zoom, double scale) {
  return {TruncToInt(w * zoom * scale), TruncToInt(h * zoom * scale)};
}

}  // namespace qv
