#include "mainwnd/settingsfile.h"

#include <algorithm>
#include <array>

#include "platform/apphelpers.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv::mainwnd {
namespace {

constexpr std::array kKeys = {
    SettingsKey{kIniDisplay, kIniInfoCheck, "31", "kept for the information panel; read by nobody"},
    SettingsKey{kIniDisplay, kIniAspect, kIniOn, "full screen keeps the aspect ratio (\"on\") or stretches"},
    SettingsKey{kIniDisplay, kIniVolume, "65535", "volume 0..65535; empty reads as 65535"},
    SettingsKey{kIniDecode, kIniHardware, nullptr, "\"on\" asks for hardware decoding; edited by hand"},
    SettingsKey{kIniMap, kIniTileUrl, nullptr, "map tile address ({z}/{x}/{y}); empty or missing: OpenStreetMap's"},
    SettingsKey{kIniUpdate, kIniUpdateHost, nullptr,
                "host (and port) of the update check's version files; empty or missing: no check"},
    SettingsKey{"FOLDERPATH", "CSV_FOLDER", nullptr, "last folder of the CSV export"},
    SettingsKey{kIniFolders, kIniJoinFolder, nullptr, "last output folder of the join"},
    SettingsKey{kIniFolders, kIniJoinRunning, nullptr,
                "folders where joins made temporaries that may be left (a list: CONNECT_UNFINISHED, "
                "CONNECT_UNFINISHED2 ...); swept at start-up, kept until no temporary is left"},
    SettingsKey{kIniFolders, kIniClaimed, nullptr,
                "\"<process id>:<path>\" of names a join or a Delete Folder move claimed by an empty placeholder "
                "(a list like CONNECT_UNFINISHED); one still empty is removed at start-up"},
    SettingsKey{"FOLDERPATH", "SNAPSHOT_FOLDER", nullptr, "last folder of still images"},
    SettingsKey{"SOURCE", "SELECT", nullptr, "which source opens at start-up"},
    SettingsKey{"SOURCE", "SD", nullptr, "the card source"},
    SettingsKey{"SOURCE", "FOLDER", nullptr, "the folder source"},
    SettingsKey{"SOURCE", "FILE", nullptr, "the file source"},
    SettingsKey{kIniDisplay, "SCALEX", nullptr, "the main window's stretch factors, above 0"},
    SettingsKey{kIniDisplay, "SCALEY", nullptr, "the main window's stretch factors, above 0"},
    SettingsKey{"MAPDISPLAY", "SCALEX", nullptr, "the map pop-out's stretch factors"},
    SettingsKey{"MAPDISPLAY", "SCALEY", nullptr, "the map pop-out's stretch factors"},
    SettingsKey{"MOVIEDISPLAY", "SCALEX", nullptr, "the movie pop-out's stretch factors"},
    SettingsKey{"MOVIEDISPLAY", "SCALEY", nullptr, "the movie pop-out's stretch factors"},
};

}  // namespace

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

bool KeepAspectFromText(std::string_view text) { return text == kIniOn; }
bool HardwareDecodingFromText(std::string_view text) { return text == kIniOn; }

int VolumeFromText(std::string_view text) {
  if (text.empty()) return kVolumeMax;
  return std::clamp(ReadIntField(text), 0, kVolumeMax);
}

StartupSettings LoadStartupSettings(const std::string& currentFolder, const std::string& programFolder) {
  StartupSettings out;
  out.folder = ChooseAppFolder(currentFolder, programFolder);
  if (out.folder.empty()) return out;
  out.path = out.folder;
  if (out.path.back() != '/') out.path += '/';
  out.path += kSettingsFileName;

  if (!PathExists(out.path)) {
    bool ok = true;
    for (const SettingsKey& k : kKeys) {
      if (k.created && ok) ok = WriteIniString(k.section, k.key, k.created, out.path);
    }
    out.created = ok;
  }
  out.keepAspect = KeepAspectFromText(ReadIniString(kIniDisplay, kIniAspect, out.path));
  out.volume = VolumeFromText(ReadIniString(kIniDisplay, kIniVolume, out.path));
  out.hardwareDecoding = HardwareDecodingFromText(ReadIniString(kIniDecode, kIniHardware, out.path));
  out.joinFolder = ReadIniString(kIniFolders, kIniJoinFolder, out.path);
  out.unfinishedJoins = ReadIniList(kIniFolders, kIniJoinRunning, out.path);
  out.claimedNames = ReadIniList(kIniFolders, kIniClaimed, out.path);
  return out;
}

}  // namespace qv::mainwnd
