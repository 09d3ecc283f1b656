#include "platform/inifile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/atomicwrite.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"

namespace qv {

namespace {

// One lock for every settings write of the process: a write reads the file,
// changes it and renames a new one into place, and two of those must not
// interleave or one change would be lost.
std::mutex& IniLock() {
  static std::mutex m;
  return m;
}

// The same across processes: an exclusive lock on a file beside the settings
// file (the settings file itself is replaced by every write, so a lock on it
// would not last).  Held while the object lives; Held() is false when the
// lock file cannot be made.
class ProcessLock {
 public:
  explicit ProcessLock(const std::string& path) {
    const std::string name = JoinPath(ParentFolder(path), "." + BaseName(path) + ".lock");
    fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0) return;
    int r;
    do {
      r = flock(fd_, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~ProcessLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  std::string text;  // without the line end
  LineKind kind = LineKind::kOther;
  std::string_view name() const {
    std::string_view t = Trim(text);
    if (kind == LineKind::kSection) {
      t.remove_prefix(1);
      return Trim(t.substr(0, t.find(']')));
    }
    if (kind == LineKind::kKey) return Trim(t.substr(0, t.find('=')));
    return {};
  }
  std::string_view value() const {
    std::string_view t = text;
    return Trim(t.substr(t.find('=') + 1));
  }
};

struct IniText {
  bool bom = false;
  std::vector<Line> lines;
};

LineKind Classify(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return LineKind::kOther;
  // A header without its ']' is no header; the line is kept as it stands.
  if (t.front() == '[') return t.find(']') != std::string_view::npos ? LineKind::kSection : LineKind::kOther;
  if (t.find('=') != std::string_view::npos && !Trim(t.substr(0, t.find('='))).empty()) return LineKind::kKey;
  return LineKind::kOther;
}

IniText Parse(std::string_view data) {
  IniText ini;
  if (data.substr(0, 3) == "\xEF\xBB\xBF") {
    ini.bom = true;
    data.remove_prefix(3);
  }
  while (!data.empty()) {
    size_t end = data.find('\n');
    std::string_view line = data.substr(0, end);
    data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ini.lines.push_back(Line{std::string(line), Classify(line)});
  }
  return ini;
}

std::string Serialize(const IniText& ini) {
  std::string out;
  if (ini.bom) out = "\xEF\xBB\xBF";
  for (const Line& l : ini.lines) {
    out += l.text;
    out += '\n';
  }
  return out;
}

// Index of the first section header named `section`, or npos.
size_t FindSection(const IniText& ini, std::string_view section) {
  for (size_t i = 0; i < ini.lines.size(); ++i)
    if (ini.lines[i].kind == LineKind::kSection && SameName(ini.lines[i].name(), section)) return i;
  return std::string::npos;
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const IniText& ini, size_t header) {
  size_t i = header + 1;
  while (i < ini.lines.size() && ini.lines[i].kind != LineKind::kSection) ++i;
  return i;
}

size_t FindKey(const IniText& ini, size_t header, std::string_view key) {
  size_t end = SectionEnd(ini, header);
  for (size_t i = header + 1; i < end; ++i)
    if (ini.lines[i].kind == LineKind::kKey && SameName(ini.lines[i].name(), key)) return i;
  return std::string::npos;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidSection(std::string_view s) {
  return !Trim(s).empty() && Trim(s).size() == s.size() && !HasLineBreak(s) &&
         s.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view k) {
  return !k.empty() && Trim(k).size() == k.size() && !HasLineBreak(k) && k.find('=') == std::string_view::npos &&
         k.front() != '[' && k.front() != ';';
}

bool IsQuoted(std::string_view v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

std::string_view Unquote(std::string_view v) { return IsQuoted(v) ? v.substr(1, v.size() - 2) : v; }

// Whether a value reads back exactly as written: the reader trims blanks and
// strips one pair of quotes, and a line ends at CR or LF.
bool StorableValue(std::string_view v) { return !HasLineBreak(v) && Trim(v).size() == v.size() && !IsQuoted(v); }

}  // namespace

bool IsStorableIniValue(std::string_view value) { return StorableValue(value); }

std::string ReadIniString(std::string_view section, std::string_view key, const std::string& path,
                          std::string_view defaultValue) {
  std::string data;
  {
    std::lock_guard<std::mutex> lock(IniLock());
    if (!ReadWholeFile(path, data)) return std::string(defaultValue);
  }
  IniText ini = Parse(data);
  size_t header = FindSection(ini, Trim(section));
  if (header == std::string::npos) return std::string(defaultValue);
  size_t at = FindKey(ini, header, Trim(key));
  if (at == std::string::npos) return std::string(defaultValue);
  return std::string(Unquote(ini.lines[at].value()));
}

namespace {

// Reads the file, lets `edit` change its lines and writes it back, under the
// lock of the process and the lock file, so that two writers never lose each
// other's change.  `edit` answers false to fail the write (the file then
// stays as it is) and clears `changed` when the file needs no write; a
// missing file reads as empty and is made only when something is written.
bool EditIniFile(const std::string& path, const std::function<bool(IniText&, bool& changed)>& edit) {
  std::lock_guard<std::mutex> lock(IniLock());
  ProcessLock processLock(path);
  if (!processLock.Held()) return false;
  std::string data;
  int error = 0;
  bool exists = ReadWholeFile(path, data, &error);
  if (!exists && error != ENOENT) return false;
  IniText ini = Parse(data);
  bool changed = true;
  if (!edit(ini, changed)) return false;
  return !changed || ReplaceFileContent(path, Serialize(ini));
}

bool NoChange(bool& changed) {
  changed = false;
  return true;
}

// The place for a new key in the section whose header is at `header`: after
// its last key (or right after the header), so that blank lines and comments
// before the next section stay where they are.
size_t NewKeyPlace(const IniText& ini, size_t header) {
  size_t insertAt = header + 1;
  size_t end = SectionEnd(ini, header);
  for (size_t i = header + 1; i < end; ++i)
    if (ini.lines[i].kind == LineKind::kKey) insertAt = i + 1;
  return insertAt;
}

// The number of a list's key: 1 for `key` itself, n for `key`n (n >= 2, no
// leading zero); 0 for any other name.
uint64_t ListNumber(std::string_view name, std::string_view key) {
  if (name.size() < key.size() || !SameName(name.substr(0, key.size()), key)) return 0;
  const std::string_view digits = name.substr(key.size());
  if (digits.empty()) return 1;
  if (digits.size() > 9 || digits.front() == '0') return 0;
  uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return n >= 2 ? n : 0;
}

// The list under `key` in the section whose header is at `header`: values by
// their key's number (the first of a number wins), empty ones left out; the
// lines it stands on go to `lines` when given.
std::vector<std::string> ListValues(const IniText& ini, size_t header, std::string_view key,
                                    std::vector<size_t>* lines = nullptr) {
  std::vector<std::pair<uint64_t, std::string>> found;
  const size_t end = SectionEnd(ini, header);
  for (size_t i = header + 1; i < end; ++i) {
    if (ini.lines[i].kind != LineKind::kKey) continue;
    const uint64_t n = ListNumber(ini.lines[i].name(), key);
    if (n == 0) continue;
    if (lines) lines->push_back(i);
    found.emplace_back(n, std::string(Unquote(ini.lines[i].value())));
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (size_t i = 0; i < found.size(); ++i)
    if ((i == 0 || found[i].first != found[i - 1].first) && !found[i].second.empty())
      out.push_back(std::move(found[i].second));
  return out;
}

}  // namespace

bool WriteIniString(std::string_view section, std::optional<std::string_view> key,
                    std::optional<std::string_view> value, const std::string& path) {
  if (!ValidSection(section)) return false;
  if (key && !ValidKey(*key)) return false;
  if (key && value && !StorableValue(*value)) return false;

  return EditIniFile(path, [&](IniText& ini, bool& changed) {
    size_t header = FindSection(ini, section);
    if (!key) {  // remove the section
      if (header == std::string::npos) return NoChange(changed);
      ini.lines.erase(ini.lines.begin() + static_cast<ptrdiff_t>(header),
                      ini.lines.begin() + static_cast<ptrdiff_t>(SectionEnd(ini, header)));
    } else if (!value) {  // remove the key
      if (header == std::string::npos) return NoChange(changed);
      size_t at = FindKey(ini, header, *key);
      if (at == std::string::npos) return NoChange(changed);
      ini.lines.erase(ini.lines.begin() + static_cast<ptrdiff_t>(at));
    } else if (header == std::string::npos) {
      ini.lines.push_back(Line{"[" + std::string(section) + "]", LineKind::kSection});
      ini.lines.push_back(Line{std::string(*key) + "=" + std::string(*value), LineKind::kKey});
    } else if (size_t at = FindKey(ini, header, *key); at != std::string::npos) {
      Line& line = ini.lines[at];
      line.text = std::string(line.name()) + "=" + std::string(*value);
    } else {
      ini.lines.insert(ini.lines.begin() + static_cast<ptrdiff_t>(NewKeyPlace(ini, header)),
                       Line{std::string(*key) + "=" + std::string(*value), LineKind::kKey});
    }
    return true;
  });
}

std::vector<std::string> ReadIniList(std::string_view section, std::string_view key, const std::string& path) {
  std::string data;
  {
    std::lock_guard<std::mutex> lock(IniLock());
    if (!ReadWholeFile(path, data)) return {};
  }
  const IniText ini = Parse(data);
  const size_t header = FindSection(ini, Trim(section));
  return header == std::string::npos ? std::vector<std::string>{} : ListValues(ini, header, Trim(key));
}

bool UpdateIniList(std::string_view section, std::string_view key, const std::string& path,
                   const std::function<void(std::vector<std::string>&)>& change) {
  if (!ValidSection(section) || !ValidKey(key)) return false;
  return EditIniFile(path, [&](IniText& ini, bool& changed) {
    size_t header = FindSection(ini, section);
    std::vector<size_t> lines;
    const std::vector<std::string> before =
        header == std::string::npos ? std::vector<std::string>{} : ListValues(ini, header, key, &lines);
    std::vector<std::string> after = before;
    change(after);
    std::erase(after, std::string());
    if (after == before) return NoChange(changed);
    for (const std::string& v : after)
      if (!StorableValue(v)) return false;
    // The new list stands where the old one began (else as new keys).
    for (size_t i = lines.size(); i-- > 0;) ini.lines.erase(ini.lines.begin() + static_cast<ptrdiff_t>(lines[i]));
    if (after.empty()) return true;
    if (header == std::string::npos) {
      header = ini.lines.size();
      ini.lines.push_back(Line{"[" + std::string(section) + "]", LineKind::kSection});
    }
    size_t at = lines.empty() ? NewKeyPlace(ini, header) : lines.front();
    for (size_t i = 0; i < after.size(); ++i) {
      const std::string name = std::string(key) + (i == 0 ? std::string() : FormatInt(static_cast<int64_t>(i + 1)));
      ini.lines.insert(ini.lines.begin() + static_cast<ptrdiff_t>(at++), Line{name + "=" + after[i], LineKind::kKey});
    }
    return true;
  });
}

}  // namespace qv
