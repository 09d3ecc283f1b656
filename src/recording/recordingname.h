// Recording file names: recognition, trigger kinds, pairing and the values
// other parts of the program derive from a name.
//
// A recording name is 18 characters, NNN_hhmmssXY_C.MP4: sequence number,
// start time, trigger letter X (A continuous, G shock, M manual, P parking,
// S parking shock), record-rate letter Y (N normal, T time-lapse) and camera
// letter C (F front, R rear).  Positions are counted in characters (Unicode
// code points of the UTF-8 path), from 0.  All functions are stateless.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/civiltime.h"
#include "recording/recordingentry.h"

namespace qv {

// Trigger flag bits.
constexpr uint32_t kTriggerA = 1;
constexpr uint32_t kTriggerM = 2;
constexpr uint32_t kTriggerG = 4;
constexpr uint32_t kTriggerP = 8;
constexpr uint32_t kTriggerS = 16;


// Character `index` of the file name of `path`; 0 when the name is shorter.
char32_t RecordingNameChar(const std::string& path, size_t index);

// The name of `path` is a recording name of either camera / the front / the
// rear camera.  The name pattern is searched for anywhere in the name, and
// the '.' before the extension stands for any character.
bool IsRecordingFileName(const std::string& path);
bool IsFrontRecordingFileName(const std::string& path);
bool IsRearRecordingFileName(const std::string& path);

// ORs the flag bit of the name's trigger letter into `mask`; always 1.
int GetTriggerFlags(const std::string& path, uint32_t& mask);

// The trigger column text of the CSV list; empty for names shorter than 18
// characters or with an unknown trigger or rate letter.
std::string GetTriggerText(const std::string& path);

// Appends to `out` every entry whose trigger kind has bit 0 of its flag set
// (flags in the order A, G, M, P, S); answers the number of input entries.
int FilterEntriesByTrigger(const std::vector<RecordingEntry>& entries, std::vector<RecordingEntry>& out,
                           const uint32_t flags[5]);

// "001_123456GN_F.MP4" -> "001_123456GN"; empty when the name has no '.'.
std::string GetPairStem(const std::string& name);

// "…/001_123456GN_F.MP4" -> "123456GN_F".
std::string GetRecordingTitle(const std::string& path);

// Start of the recording from its date folder (yyyyMMdd_nnn) and name.
CivilTime GetRecordingDateTime(const std::string& path);

// The civil time of "yyMMdd" and "hhmmss" (years 2000 + yy), out-of-range
// fields normalised; characters that are not digits read as 0.
CivilTime MakeLocalTimeFromDigits(const std::string& dateDigits, const std::string& timeDigits);

// The path of the other camera's file: `find` ("F.MP4" / "R.MP4") replaced by
// `replace` in the file name, or the lower-case extension variants of both.
std::string MakePartnerPath(const std::string& path, const std::string& find, const std::string& replace);

// Front and rear paths of the pair `path` belongs to; 0 when the name is not
// a front or rear recording name or when the pair is already listed.
int ResolvePair(const std::string& path, const std::vector<RecordingEntry>& entries, std::string& front,
                std::string& rear);

}  // namespace qv
