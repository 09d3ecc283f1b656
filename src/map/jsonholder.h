// A flat JSON object of string values: the update message the host-object
// page receives (map_lat, map_lng, map_status, val_command, val_end).
//
// Keys are kept in byte order, so Serialize lists them in that order
// whatever order they were added in; each entry keeps the separator written
// after it ("," or "" for the last).  Serialize escapes quotes, backslashes
// and control characters; Parse reads those escapes back and keeps ":" and
// "," inside quoted keys and values.  Parse has no nesting: a "{" outside a
// string starts the object again, characters outside strings are skipped,
// and a stored key replaces an existing one (Parse does not empty the
// holder first).  Texts are UTF-8.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace qv {

class CJsonHolder {
 public:
  struct Entry {
    std::string value;
    std::string separator;
  };

  void Add(const std::string& key, const std::string& value, const std::string& separator);
  std::string Serialize() const;
  void Parse(std::string_view text);
  void Clear() { entries_.clear(); }

  // The value of `key`, empty when absent.
  std::string Value(const std::string& key) const;
  const std::map<std::string, Entry>& Entries() const { return entries_; }

 private:
  std::map<std::string, Entry> entries_;
};

// The update message for the page: latitude and longitude with six decimals
// (a value that is not finite is sent as the page's "no position" 1000),
// the status, "val_command" = "update" and an empty "val_end".
std::string UpdateMessageJson(double lat, double lng, std::string_view status);

}  // namespace qv
