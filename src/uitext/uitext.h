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
  CloseButton = 0,               // the update window's close button
  ItemCount = 33,                // the browsing panel's row count, "%d" for the number
  JoinTitle = 40,                // selection dialog in join mode: title and OK
  JoinNext = 41,
  DeleteTitle = 43,              // selection dialog in delete mode: title and OK
  ColumnFileName = 46,           // selection dialog columns
  SelectAllShown = 51,           // selection dialog check boxes
  ShowAllFiles = 52,
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
  MovieOpenFailed = 96,          // a chosen file is no recording
  ChooseMovieFolder = 102,       // title of the source dialog's folder browser
  TooManyRows = 103,             // the selection dialog offers the first 1500 rows
  UpdateHead = 105,              // update check: the message's head, window title, labels and titles
  UpdateTitle = 106,
  UpdateCurrentVersion = 107,
  UpdateFirmware = 108,
  UpdateNewVersion = 109,
  UpdateViewer = 110,
  UpdateGpsData = 111,
  FaceName = 112,                // not shown: the face of the shared fonts
  PluginMissing = 113,           // the player cannot decode the movie
  SwitchDriveSupport = 115,      // settings panel: the four display switches, title and group boxes
  SettingsTitle = 123,
  SwitchEmergencyStop = 124,     // settings panel
  SwitchParkingShock = 125,
  VersionGroup = 127,
  DisplayGroup = 128,
  SwitchSpeeding = 129,
  SourceFile = 130,              // source dialog: row captions and title
  SourceFolder = 131,
  SourceTitle = 132,
  SourceCard = 133,
  SizeOver = 138,                // join limits
  VehicleInfo = 139,             // title of the gauge window
  TooManyFiles = 140,            // join limits
  ColumnFront = 145,             // selection dialog columns
  ColumnRear = 146,
  RearCameraCaption = 146,       // the movie pop-out's caption
  MapCaption = 151,              // the map pop-out's caption
  FilterA = 152,                 // captions of the browsing panel's filter buttons
  FilterM = 155,
  FilterG = 156,
  FilterP = 157,
  FilterS = 158,
  TriggerNormal = 160,           // recording triggers, by the file name's letters
  TriggerManual = 163,
  TriggerShock = 164,
  TriggerTimeLapse = 165,
  TriggerParking = 166,
  TriggerParkingShock = 167,
  TriggerParkingTimeLapse = 168,
  NoFrontMovie = 170,            // a video pane: the front camera's movie is missing
  NoRearMovie = 171,             // a video pane: the rear camera's movie is missing
  ZoomCover = 180,               // the browsing panel's cover in zoom mode
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
  MovieTooShort = 97,            // a pair too short to play
  StillFailed = 98,
  NoMovies = 99,
  ChooseBackupFolder = 100,
  ChooseOutputFolder = 101,
  ConfirmCaption = 104,
};

// The entry in block UiLanguage; "" when the language is out of range.
const char* GetUiText(UiText id);
// Entry `index` of a block, for code that walks the whole table; "" for an
// index or language out of range and for entries that hold no text.
const char* GetUiTextIn(int language, int index);

}  // namespace qv
