#include "skin/fonts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

#include "platform/qt/monitor.h"
#include "platform/uiscale.h"
#include "skin/helpers.h"
#include "uitext/uitext.h"

namespace qv {

QFont* Font9pt = nullptr;
QFont* AppFont = nullptr;
QFont* Font13pt = nullptr;
QFont* Font17pt = nullptr;
QFont* Font22pt = nullptr;

namespace {

// The font scale as CreateAppFonts set it, before any fitting.
float g_baseFontScale = 0.0f;

}  // namespace

int UiLanguageForLocale(const QLocale& locale) {
  return locale.language() == QLocale::English && locale.territory() == QLocale::UnitedStates ? 1 : 0;
}

int InitUiLanguage() {
  UiLanguage = UiLanguageForLocale(QLocale::system());
  return UiLanguage;
}

QTranslator* InstallToolkitTranslation(int language) {
  if (language != 0 || !QCoreApplication::instance()) return nullptr;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

QFont MakeAppFont(int points, int dpiY) {
  QFont font;
  // The table's face first; fixed pitch is not asked for (fontconfig would
  // then pick a monospaced Latin face).
  font.setFamilies({QString::fromUtf8(GetUiText(UiText::FaceName)), QString::fromLatin1(kFallbackFontFamily)});
  font.setStyleHint(QFont::SansSerif);
  const int height = FontHeight(FontScale, points, dpiY);
  font.setPixelSize(height < 0 ? -height : 1);
  return font;
}

bool CreateAppFonts(const QWidget* window) {
  if (!window) return false;
  const MonitorInfo monitor = CurrentMonitors().Nearest(GetWindowRect(window).TopLeft());
  const UiScales scales =
      ComputeUiScales(monitor.workArea.Width(), monitor.workArea.Height(), monitor.dpiX, monitor.dpiY);
  UiScale = scales.uiScale;
  FontScale = scales.fontScale;
  g_baseFontScale = FontScale;
  if (FontScale > 0) {
    DeleteAppFonts();
    Font9pt = new QFont(MakeAppFont(9, monitor.dpiY));
    AppFont = new QFont(MakeAppFont(10, monitor.dpiY));
    Font13pt = new QFont(MakeAppFont(13, monitor.dpiY));
    Font17pt = new QFont(MakeAppFont(17, monitor.dpiY));
    Font22pt = new QFont(MakeAppFont(22, monitor.dpiY));
  }
  return true;
}

float FitUiScaleToMonitor(const QWidget* window) {
  if (!window) return 1.0f;
  const MonitorInfo monitor = CurrentMonitors().Nearest(GetWindowRect(window).TopLeft());
  const float f = FitFactor(UiScale, monitor.workArea.Height());
  FontScale = g_baseFontScale * f;
  return f;
}

void DeleteAppFonts() {
  for (QFont** font : {&Font9pt, &AppFont, &Font13pt, &Font17pt, &Font22pt}) {
    delete *font;
    *font = nullptr;
  }
}

}  // namespace qv
