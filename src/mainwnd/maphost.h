// The choice of the map's host: the map dialog on the Qt web engine's host
// object (CMapDlg2) when the engine can run here, else the plain page
// (CMapDlg).  Stands in for looking up the web runtime's registration.
//
// The engine runs its pages in a helper process and ends the whole program
// when it cannot find it; without the helper no map dialog is made at all.
#pragma once

#include <optional>
#include <string>

namespace qv {

// Where the web engine's helper process is, looked for as the engine looks:
// only QTWEBENGINEPROCESS_PATH when that is set, else Qt's folder of library
// executables, then the program's own folder.  Empty when it is in none.
std::string WebEngineHelperPath();
// Whether the map takes the host-object page: the engine's helper is there.
bool WebEngineUsable();
// Forces WebEngineUsable's answer (tests; false takes the plain page
// wherever the helper is); nullopt asks the system again.
void SetWebEngineUsableForTests(std::optional<bool> answer);

// The one terminal line of a program whose map cannot show.
inline constexpr const char* kNoMapNotice =
    "quorvex: the map is not available: the web engine's helper process (QtWebEngineProcess) was not found";

}  // namespace qv
