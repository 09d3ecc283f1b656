// The user-visible texts of the program, as pure data (no GUI library).
//
// The texts form a table with one block per language; the program asks for
// an entry by its name in UiText, in the block of the current language.  All
// texts are UTF-8.
#pragma once

namespace qv {

constexpr int kUiTextCount = 260;     // entries per language block
constexpr int kUiLanguageCount = 2;   // language blocks

// Block index used by GetUiText; 0 by default, set once at start-up.
extern int UiLanguage;

// The entries the program shows, by their place in the table.
enum class UiText : int {
  AxisFrontBack = 62,            // G value captions of the information panel
  AxisLeftRight = 63,
  AxisUpDown = 64,
  MarkSupportAcceleration = 65,  // event mark names, shown on the map
  MarkSupportBraking = 66,
  MarkSupportSteering = 67,
  MarkHardAcceleration = 69,
  MarkHardBraking = 70,
  MarkSuddenDrop = 71,
  MarkSharpSteering = 72,
  MarkSuddenRise = 73,
  MarkManualRecording = 74,
  MarkEmergencyStop = 75,
  MarkParking = 76,
  MarkSpeeding = 77,
  FolderPathError = 95,          // a chosen folder has no file-system path
  FaceName = 112,                // not shown: the face of the shared fonts
  PluginMissing = 113,           // the player cannot decode the movie
  VehicleInfo = 139,             // title of the gauge window
  TriggerNormal = 160,           // recording triggers, by the file name's letters
  TriggerManual = 163,
  TriggerShock = 164,
  TriggerTimeLapse = 165,
  TriggerParking = 166,
  TriggerParkingShock = 167,
  TriggerParkingTimeLapse = 168,
  RearCameraCaption = 146,       // the movie pop-out's caption
  MapCaption = 151,              // the map pop-out's caption
  NoFrontMovie = 170,            // a video pane: the front camera's movie is missing
  NoRearMovie = 171,             // a video pane: the rear camera's movie is missing
  // The file commands: CSV columns (each but the last ends in a comma),
  // quality and rate words, and their messages.
  CsvDate = 29,
  CsvName = 30,
  CsvRate = 32,
  CsvQuality = 34,
  CsvSize = 35,
  CsvLength = 36,
  CsvStart = 37,
  CsvTrigger = 38,
  CsvFrontBytes = 148,
  CsvRearBytes = 149,
  QualityHigh = 55,
  QualityLow = 56,
  TimeLapseRate = 159,
  Done = 44,
  DoneCaption = 45,
  SameNameExists = 90,
  JoinFailed = 92,
  CsvFailed = 93,
  DeleteFailed = 94,
  StillFailed = 98,
  NoMovies = 99,
  ChooseBackupFolder = 100,
  ChooseOutputFolder = 101,
  TooManyRows = 103,
  ConfirmCaption = 104,
};

// The entry in block UiLanguage; "" when the language is out of range.
const char* GetUiText(UiText id);
// Entry `index` of a block, for code that walks the whole table; "" for an
// index or language out of range and for entries that hold no text.
const char* GetUiTextIn(int language, int index);

}  // namespace qv
