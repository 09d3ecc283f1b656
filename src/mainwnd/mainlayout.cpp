#include "mainwnd/mainlayout.h"

#include "platform/uiscale.h"
#include "skin/skinids.h"

namespace qv::mainwnd {

// ---------------------------------------------------------------- buttons

const std::array<ButtonRow, kCommandButtonCount>& CommandButtons() {
  // id, bitmap, tooltip (UI text), bitmap and tooltip while playing, width
  static const std::array<ButtonRow, kCommandButtonCount> rows = {{
      {kCmdToStart, 154, 20, 0, 0, 32},                   // to the start
      {kCmdPrevious, 144, 13, 0, 0, 32},                  // previous
      {kCmdPlayPause, kSkinPlay, 12, kSkinPause, 11, 32}, // play / pause
      {kCmdSlower, 142, 17, 0, 0, 32},                    // slow
      {kCmdFaster, 139, 4, 0, 0, 32},                     // fast forward
      {kCmdNext, 145, 9, 0, 0, 32},                       // next
      {kCmdStill, 153, 19, 0, 0, 32},                     // still image
      {kCmdJoin, 150, 1, 0, 0, 32},                       // join
      {kCmdZoom, 200, 21, 0, 0, 32},                      // zoom
      {kCmdMirror, 362, 169, 0, 0, 32},                   // mirror image
      {kCmdMap, 357, 150, 0, 0, 32},                      // map on/off
      {kCmdBrowse, 146, 10, 0, 0, 32},                    // browse
      {kCmdDelete, 138, 3, 0, 0, 32},                     // delete
      {kCmdSettings, 151, 16, 0, 0, 32},                  // settings
      {kCmdCsv, 137, 2, 0, 0, 32},                        // CSV export
      {kCmdFrontRear, 356, 147, 0, 0, 32},                // front/rear display
  }};
  return rows;
}

const std::array<ButtonRow, kFrameButtonCount>& FrameButtons() {
  static const std::array<ButtonRow, kFrameButtonCount> rows = {{
      {kFrameClose, 155, 0, 0, 0, 46},
      {kFrameMaximise, 157, 177, 157, 178, 26},  // "enlarge", "reduce" while maximised
      {kFrameMinimise, 156, 136, 0, 0, 26},
  }};
  return rows;
}

// ---------------------------------------------------------------- layout

LayoutMetrics ComputeLayoutMetrics(const Rect& c, float s) {
  LayoutMetrics m;
  m.w2 = c.right - 2 * T(s, 6) - c.left;
  m.w0 = m.w2 - T(s, 440) - 2 * T(s, 6);
  m.h2 = c.Height() - T(s, 10) - T(s, 38) - T(s, 27);
  m.h0 = m.h2 - T(s, 148) - T(s, 105);
  return m;
}

std::optional<MainLayout> LayoutChildren(const Rect& c, float s) {
  if (c.IsEmpty()) return std::nullopt;
  const LayoutMetrics m = ComputeLayoutMetrics(c, s);
  MainLayout out;
  out.frontPane = Rect::FromSize(T(s, 6), T(s, 27), m.w0, m.h0 + 2);
  if (out.frontPane.IsEmpty()) return std::nullopt;

  const int L = out.frontPane.left, Tp = out.frontPane.top;
  const int R = L + m.w0, B = out.frontPane.bottom + 1;
  out.paneArea = Rect(L, Tp, R, B);
  const int slider = T(s, 10), info = T(s, 105);
  out.positionSlider = Rect::FromSize(L, B, R - L, slider);
  out.infoPanel = Rect::FromSize(L, B + slider, R - L, info);
  out.graph = Rect::FromSize(L, B + slider + info, R - L,
                             c.bottom - B - info - T(s, 5) - T(s, 38) - slider + T(s, 2));
  out.browser = Rect(R, Tp + 1, R + T(s, 440) + 2 * T(s, 6), c.bottom - T(s, 4) - T(s, 38) + T(s, 1));

  const int side = T(s, 32);
  const int buttonY = c.bottom - (side + T(s, 38)) / 2 - T(s, 1);
  for (int i = 0; i < kCommandButtonCount; ++i) {
    int x = c.left + T(s, 20) + i * (side + T(s, 11));
    if (i > 10) x += side - T(s, 2);  // a gap between the playback and the file commands
    out.commandButtons[i] = Rect::FromSize(x, buttonY, side, side);
  }
  for (int i = 0; i < kFrameButtonCount; ++i) {
    const int w = T(s, FrameButtons()[i].designWidth);
    const int x = c.right - T(s, 6) - i * w - T(s, 46) - T(s, 4);
    out.frameButtons[i] = Rect::FromSize(x, c.top, w, T(s, 18));
  }
  out.volumeSlider = Rect::FromSize(c.right - T(s, 120), c.bottom - T(s, 5) - (T(s, 38) + T(s, 12)) / 2,
                                    T(s, 100), T(s, 20));
  return out;
}

Rect BusyProgressBar(const Rect& paneArea, float s) {
  const int h = T(s, 22);
  return Rect::FromSize(paneArea.left + T(s, 2), paneArea.bottom - h, paneArea.Width(), h);
}

Size MainWindowSize(float s, float scaleX, float scaleY) {
  return skin::ScaledWindowSize(T(s, kDesignWidth), T(s, kDesignHeight), scaleX, scaleY);
}

// ---------------------------------------------------------------- pop-outs

namespace {
// The movie pop-out's picture width as its height formula counts it.
int MovieWidth(float s) { return T(s, 440) - 2 * T(s, 4) + 2 * T(s, 6); }
}  // namespace

Size MapPopoutDesignSize(float s) {
  const int x = T(s, 1120) - T(s, 440) - 4 * T(s, 6) - 2 * T(s, 2);
  return {T(s, 440) + 2 * T(s, 6), 9 * x / 16 + T(s, 20) + 2 * T(s, 4) - T(s, 1)};
}

Size MoviePopoutDesignSize(float s) {
  return {T(s, 440) + 2 * T(s, 6), T(s, 4) + 9 * MovieWidth(s) / 16 + T(s, 20) + 1};
}

Size PopoutWindowSize(Size design, float scaleX, float scaleY) {
  return skin::ScaledWindowSize(design.width, design.height, scaleX, scaleY);
}

Point MapPopoutOrigin(Point window, const MainLayout& l) {
  return {window.x + l.paneArea.right, window.y + l.browser.top};
}

Point MoviePopoutOrigin(Point window, const MainLayout& l, float s) {
  return {window.x + l.paneArea.right,
          window.y + l.browser.bottom - 1 - T(s, 4) - 9 * MovieWidth(s) / 16 - T(s, 20)};
}

Rect PopoutContentRect(Size p, float s) {
  const int side = T(s, 4), top = T(s, 20);
  return Rect::FromSize(side, top, p.width - 2 * side, p.height - side - top);
}

Rect CentreOnMonitor(const Rect& m, Size size, Point fallback) {
  if (m.IsEmpty()) return Rect::FromSize(fallback.x, fallback.y, size.width, size.height);
  return Rect::FromSize(m.left + (m.Width() - size.width) / 2, m.top + (m.Height() - size.height) / 2, size.width,
                        size.height);
}

// ---------------------------------------------------------------- logo and map

LogoMapDecision DecideLogoAndMap(const LogoMapInput& in, bool logoShownBefore) {
  LogoMapDecision d;
  d.logoShown = logoShownBefore;
  d.logoFrameFlag = in.logoFrameFlag;
  auto showLogo = [&] {
    d.logoShown = true;
    if (!in.logoVisible) d.logo = LogoAction::kShow;
  };

  const bool nothingToShow = !in.mapAvailable || !in.trackShown || !in.connectTest || in.trackEmpty ||
                             !in.currentRowValid || in.parking || in.invalidPosition;
  const bool connected = in.connected && in.mapAvailable;
  if (nothingToShow) {
    if (!connected) d.hideMap = true;
    if (in.fullScreen) {
      d.logoShown = false;
      if (in.logoVisible) d.logo = LogoAction::kHideNow;
      return d;
    }
    if (in.mapEnabled && !connected) showLogo();
  } else if (connected) {
    if (!in.fullScreen) d.showMap = true;
    d.logoShown = false;
    if (in.logoVisible) d.logo = LogoAction::kHide;
    return d;
  } else if (in.mapEnabled && (!in.mapDialogExists || !in.mapDialogVisible)) {
    showLogo();
  }

  // The logo's frame: the offline picture while the map is wanted on a
  // first run that cannot reach it.
  const int frame = (!in.invalidPosition && in.firstRun && !in.connectTest && in.mapShown) ? 0 : 1;
  d.redrawLogo = frame != in.logoFrameFlag;
  d.logoFrameFlag = frame;

  if (in.parking && !in.fullScreen) {
    if (in.mapDialogVisible) d.hideMap = true;
    showLogo();
  }
  return d;
}

}  // namespace qv::mainwnd
