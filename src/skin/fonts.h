// The display scale and the five shared fonts.
//
// The main window builds them once before its children exist (and again
// when it re-scales itself): CreateAppFonts sets UiScale and FontScale
// (platform/uiscale.h) from the monitor the window is on and creates the
// fonts; every window then only reads them.  Window thread only.
#pragma once

#include <QFont>
#include <QLocale>

class QTranslator;
class QWidget;

namespace qv {

// The shared fonts, null until CreateAppFonts made them and after
// DeleteAppFonts.  All share one face and differ only in height.
extern QFont* Font9pt;
extern QFont* AppFont;   // 10 points: dialog controls and captions
extern QFont* Font13pt;
extern QFont* Font17pt;
extern QFont* Font22pt;

// The face asked for after the one named in the text table, which Linux
// systems seldom have; this one covers the same characters.
constexpr const char* kFallbackFontFamily = "Noto Sans CJK JP";

// The language block of the text table for a locale: 1 for English (United
// States), else 0.
int UiLanguageForLocale(const QLocale& locale);
// Sets UiLanguage from the system locale; answers it.
int InitUiLanguage();
// Qt's own texts (its file dialogs, standard buttons, edit menus) in the
// table's `language`: Qt's Japanese catalogue for the first block, nothing
// for English.  Installed on the application, which owns it; null when
// nothing was loaded (English, or the catalogue is not installed).  Call
// once, after the application exists.
QTranslator* InstallToolkitTranslation(int language);

// Sets UiScale and FontScale from the monitor nearest the window's top-left
// corner and creates the five fonts (when FontScale came out above 0).
// False, with nothing set, for a null window.
bool CreateAppFonts(const QWidget* window);
// Shrinks FontScale so that the scaled main window fits the height of the
// monitor's work area, and answers the factor (1 when it fits).  The factor
// always applies to the font scale CreateAppFonts set, so calling it again
// (or on another monitor) never shrinks twice, and a monitor where the
// window fits gives the full font scale back.  UiScale is not changed.
float FitUiScaleToMonitor(const QWidget* window);
void DeleteAppFonts();

// The font of `points` at the current FontScale on a screen of `dpiY` dots
// per inch, in the shared face (used by CreateAppFonts).
QFont MakeAppFont(int points, int dpiY);

}  // namespace qv
