// The choice of the map's host: the map dialog on the Qt web engine's host
// object (CMapDlg2) when the engine can run here, else the plain page
// (CMapDlg).  Stands in for looking up the web runtime's registration.
#pragma once

#include <optional>

namespace qv {

// Whether the Qt web engine can run here: its helper process is installed.
bool WebEngineUsable();
// Forces WebEngineUsable's answer (tests); nullopt asks the system again.
void SetWebEngineUsableForTests(std::optional<bool> answer);

}  // namespace qv
