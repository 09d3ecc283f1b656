// The settings file "Default_Folder.ini" as the main window keeps it: every
// section and key the program uses, the file made on the first start, and
// the values read at start-up.
//
// All of it runs on the window thread at start-up, through the settings-file
// helpers of platform/inifile.h (each write goes to a temporary file that is
// renamed over the old one).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::mainwnd {

constexpr char kSettingsFileName[] = "Default_Folder.ini";

// Sections and keys the main window reads or writes itself.
constexpr char kIniDisplay[] = "DISPLAY";
constexpr char kIniInfoCheck[] = "INFOCHECK";
constexpr char kIniAspect[] = "ASPECT";
constexpr char kIniVolume[] = "VOLUME";
constexpr char kIniDecode[] = "DECODE";
constexpr char kIniHardware[] = "HW";
constexpr char kIniMap[] = "MAP";
constexpr char kIniTileUrl[] = "TILEURL";
constexpr char kIniUpdate[] = "UPDATE";
constexpr char kIniUpdateHost[] = "HOST";
constexpr char kIniFolders[] = "FOLDERPATH";
constexpr char kIniJoinFolder[] = "CONNECT_FOLDER";
constexpr char kIniJoinRunning[] = "CONNECT_UNFINISHED";
constexpr char kIniClaimed[] = "CONNECT_CLAIMED";
constexpr char kIniOn[] = "on";
constexpr char kIniOff[] = "off";

constexpr int kVolumeMax = 65535;

struct SettingsKey {
  const char* section;
  const char* key;
  const char* created;  // written when the file is made; null: not written then
  const char* meaning;
};

// Every key of the file.  Every resizable window's section (DISPLAY,
// MAPDISPLAY, MOVIEDISPLAY and the others) also holds SCALEX and SCALEY.
std::span<const SettingsKey> SettingsKeys();

// What start-up takes from the file.
struct StartupSettings {
  std::string folder;          // the settings folder; empty when none is usable
  std::string path;            // the file; empty when there is no folder
  bool created = false;        // the file was missing and has been made
  bool keepAspect = true;      // full screen keeps the aspect ratio
  int volume = kVolumeMax;     // 0..65535
  bool hardwareDecoding = false;
  std::string joinFolder;      // the folder last joined into; empty for none
  std::vector<std::string> unfinishedJoins;  // folders a join may have left its temporaries in
  std::vector<std::string> claimedNames;     // names a rename may have left an empty placeholder under
};

// Start-up's settings: the folder is the one that was current when the
// program started (the program's own folder when that was the file-system
// root), chosen before and apart from anything else start-up does; a missing
// file is made with DISPLAY/INFOCHECK "31", ASPECT "on" and VOLUME "65535",
// in that order; then ASPECT, VOLUME, DECODE/HW, FOLDERPATH/CONNECT_FOLDER and
// FOLDERPATH/CONNECT_UNFINISHED are read.
StartupSettings LoadStartupSettings(const std::string& currentFolder, const std::string& programFolder);

// ASPECT: keep the aspect only for exactly "on".
bool KeepAspectFromText(std::string_view text);
// VOLUME: empty gives 65535; otherwise the leading decimal number, held to
// 0..65535.
int VolumeFromText(std::string_view text);
// DECODE/HW: on only for exactly "on".
bool HardwareDecodingFromText(std::string_view text);

}  // namespace qv::mainwnd
