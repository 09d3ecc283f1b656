// The settings file: a plain "[section]" / "key=value" text file read and
// written line by line, so that a person can edit it and every line they
// wrote (comments, order, unknown keys) survives the program's writes.
//
// Reading:
//  - section and key names compare without regard to ASCII case, blanks
//    around them are ignored; the first matching section and, in it, the
//    first matching key win;
//  - the value is trimmed and one pair of surrounding quotes ('...' or
//    "...") is stripped;
//  - a missing file, section or key reads as "" (or the given default);
//  - lines end in LF, CRLF or any number of CRs before the LF; a UTF-8
//    byte-order mark is skipped;
//    lines starting with ';' are comments.
// Writing:
//  - creates the file when it is missing;
//  - an existing key gets its value replaced in place (its line keeps its
//    position and its name's spelling); a new key goes after the last key of
//    its section; a new section goes at the end of the file;
//  - every other line is kept as it was; lines are written "key=value" with
//    no blanks, in UTF-8, ending in LF;
//  - no value removes the key, no key removes the whole section;
//  - the new text replaces the old file as a whole (SafeFileWriter), under a
//    lock of the process and an exclusive file lock on ".NAME.lock" beside the
//    file, so two threads or two programs writing at once each see the other's
//    change and a crash never leaves half a file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The value of `key` in `section` of the file at `path`; `defaultValue` when
// the file, the section or the key is missing.  Never creates the file.
std::string ReadIniString(std::string_view section, std::string_view key, const std::string& path,
                          std::string_view defaultValue = {});

// Writes `key=value` in `section`.  A missing value (std::nullopt) removes the
// key, a missing key removes the section.  False when the names or the value
// cannot be stored as given (an empty section or key, a line break anywhere,
// '=' in a key, ']' in a section, blanks around a key or a value, a value in
// a pair of quotes) or the file cannot be written; the file is then unchanged.
bool WriteIniString(std::string_view section, std::optional<std::string_view> key,
                    std::optional<std::string_view> value, const std::string& path);

// Whether `value` reads back exactly as written (see WriteIniString).
bool IsStorableIniValue(std::string_view value);

// A list of values kept under one key: the first value as `key`, the
// further ones as `key`2, `key`3 ... in order, so that a file holding a
// single value under `key` reads as a list of one.  Empty values are no
// entries.  Reading gives the values in their keys' order (no file, section
// or key: an empty list).
std::vector<std::string> ReadIniList(std::string_view section, std::string_view key, const std::string& path);
// Changes such a list in one step, under the locks every write takes: `change`
// gets the list as the file holds it and leaves the new one, which is
// written back where the old one stood.  False when a value cannot be stored
// (see WriteIniString) or the file cannot be written; the file is then
// unchanged.  `change` runs with the locks held: it must not write the file.
bool UpdateIniList(std::string_view section, std::string_view key, const std::string& path,
                   const std::function<void(std::vector<std::string>&)>& change);

}  // namespace qv
