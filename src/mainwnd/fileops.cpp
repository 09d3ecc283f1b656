#include "mainwnd/fileops.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <unordered_set>

#include "mainwnd/settingsfile.h"
#include "platform/atomicwrite.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "recording/recording_files.h"

namespace qv {

const std::string& RowKey(const RecordingEntry& row) { return row.frontPath.empty() ? row.rearPath : row.frontPath; }

DeleteOutcome DeletePairs(const std::vector<RecordingEntry>& pairs, const std::atomic<bool>& cancel,
                          const FileOpProgress& progress, ClaimRecord* claims) {
  DeleteOutcome out;
  const int64_t n = static_cast<int64_t>(pairs.size());
  for (int64_t i = n - 1; i >= 0; --i) {
    if (cancel.load()) {
      out.result = FileOpResult::kCancelled;
      return out;
    }
    const RecordingEntry& pair = pairs[static_cast<size_t>(i)];
    if (!DeleteRecordingPair(pair.frontPath, pair.rearPath, &out.error, claims)) {
      out.result = FileOpResult::kFailed;
      return out;
    }
    out.deleted.push_back(RowKey(pair));
    if (progress) progress(n - 1 - i, n);
  }
  if (progress) progress(n, n);
  return out;
}

int RemoveRowsByKey(std::vector<RecordingEntry>& rows, const std::vector<std::string>& keys) {
  const std::unordered_set<std::string> gone(keys.begin(), keys.end());
  const size_t before = rows.size();
  std::erase_if(rows, [&](const RecordingEntry& r) { return gone.count(RowKey(r)) != 0; });
  return static_cast<int>(before - rows.size());
}

void MarkJoined(std::vector<RecordingEntry>& rows, const std::vector<RecordingEntry>& pairs) {
  std::unordered_set<std::string> joined;
  for (const RecordingEntry& p : pairs) joined.insert(RowKey(p));
  for (RecordingEntry& r : rows)
    if (joined.count(RowKey(r)) != 0) r.joined = 1;
}

int SweepSteps::RemoveStale(const std::string& folder) { return RemoveStaleTemporaries(folder); }
int SweepSteps::Count(const std::string& folder) { return CountTemporaries(folder); }
int SweepSteps::RemoveClaim(const std::string& path) { return RemoveUnfilledClaim(path); }

namespace {

// More folders, or claims, than this are not remembered: the oldest go first.
constexpr size_t kMaxJoinFolders = 32;

SweepSteps g_realSweepSteps;
std::atomic<SweepSteps*> g_sweepSteps{&g_realSweepSteps};

SweepSteps& Sweep() { return *g_sweepSteps.load(); }

bool Listed(const std::vector<std::string>& list, const std::string& folder) {
  return std::find(list.begin(), list.end(), folder) != list.end();
}

// A settings value holds no line break and no blank at either end, and a
// name may have them: such a value, and one that begins with '%', is stored
// as '%' followed by the value with '%', control characters and blanks as
// %XX.  Every other value stands as it is, as every folder did before (they
// all begin with '/').
std::string StoredValue(const std::string& value) {
  if (!value.empty() && value.front() != '%' && IsStorableIniValue(value)) return value;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "%";
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '%' || c == ' ' || c < 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value StoredValue stored as `stored`; a value not of its form reads
// as it stands.
std::string ValueFromStored(const std::string& stored) {
  if (stored.empty() || stored.front() != '%') return stored;
  std::string out;
  for (size_t i = 1; i < stored.size(); ++i) {
    if (stored[i] != '%') {
      out += stored[i];
      continue;
    }
    const int hi = i + 2 < stored.size() ? HexDigit(stored[i + 1]) : -1;
    const int lo = hi >= 0 ? HexDigit(stored[i + 2]) : -1;
    if (lo < 0) return stored;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::vector<std::string> ReadStoredList(const std::string& settingsFile, const char* key) {
  std::vector<std::string> out = ReadIniList(mainwnd::kIniFolders, key, settingsFile);
  for (std::string& v : out) v = ValueFromStored(v);
  return out;
}

// Appends `value` (not yet stored) to a stored list unless it is there,
// dropping the oldest entries beyond the bound.
void AddStored(std::vector<std::string>& list, const std::string& value) {
  const std::string stored = StoredValue(value);
  if (Listed(list, stored)) return;
  if (list.size() >= kMaxJoinFolders) list.erase(list.begin(), list.end() - (kMaxJoinFolders - 1));
  list.push_back(stored);
}

// The folders that records of this process hold now or have let go of
// lately, each with the tick of its last change: a folder found clean is
// forgotten only when no record held it at any time since the look began
// (a join that begins meanwhile makes its file after the look).  Never
// destroyed: a sweep left running at the program's end still uses it.
struct FolderUse {
  int holders = 0;
  uint64_t tick = 0;
};
struct FolderUses {
  std::mutex mutex;
  uint64_t clock = 0;
  std::map<std::string, FolderUse> byFolder;
};

FolderUses& Uses() {
  static FolderUses* uses = new FolderUses;
  return *uses;
}

void ChangeUse(const std::string& folder, int holders) {
  FolderUses& u = Uses();
  std::lock_guard<std::mutex> lock(u.mutex);
  FolderUse& use = u.byFolder[folder];
  use.holders += holders;
  use.tick = ++u.clock;
}

uint64_t UseClock() {
  FolderUses& u = Uses();
  std::lock_guard<std::mutex> lock(u.mutex);
  return u.clock;
}

bool UsedSince(const std::string& folder, uint64_t tick) {
  FolderUses& u = Uses();
  std::lock_guard<std::mutex> lock(u.mutex);
  const auto it = u.byFolder.find(folder);
  return it != u.byFolder.end() && (it->second.holders > 0 || it->second.tick > tick);
}

// Forgets those of `folders` (every remembered one when null) that hold no
// file under construction.  The folders are listed without the settings
// file's lock, which a slow card would otherwise keep from every settings
// read of the window; the lock is taken only to change the list, and a
// folder a record held since the listing began stays.  Those of `folders`
// that still hold files under construction are remembered again should a
// sweep of another program have forgotten them meanwhile.
void ForgetCleanFolders(const std::string& settingsFile, const std::vector<std::string>* folders) {
  const uint64_t since = UseClock();
  const std::vector<std::string> look = folders ? *folders : ReadStoredList(settingsFile, mainwnd::kIniJoinRunning);
  std::vector<std::string> clean, kept;
  for (const std::string& f : look) {
    const int n = Sweep().Count(f);
    if (n == 0) clean.push_back(f);
    else if (n > 0 && folders) kept.push_back(f);
  }
  if (clean.empty() && kept.empty()) return;
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settingsFile, [&](std::vector<std::string>& list) {
    std::erase_if(list, [&](const std::string& stored) {
      const std::string f = ValueFromStored(stored);
      return Listed(clean, f) && !UsedSince(f, since);
    });
    for (const std::string& f : kept) AddStored(list, f);
  });
}

// The claims of programs no longer running: a placeholder still empty goes,
// and the claim is forgotten once its name is free or holds anything else.
// One whose folder cannot be reached (a card taken out) or whose card
// refuses the removal stays for a later start.
void SweepClaims(const std::string& settingsFile) {
  std::vector<std::string> settled;
  for (const std::string& stored : ReadIniList(mainwnd::kIniFolders, mainwnd::kIniClaimed, settingsFile)) {
    const std::string claim = ValueFromStored(stored);
    const size_t colon = claim.find(':');
    int64_t pid = 0;
    if (colon == std::string::npos || !ParseInt64(std::string_view(claim).substr(0, colon), pid) || pid <= 0 ||
        pid > INT32_MAX || colon + 1 == claim.size()) {
      settled.push_back(stored);  // no claim of ours
      continue;
    }
    if (ProcessRuns(static_cast<pid_t>(pid))) continue;
    if (Sweep().RemoveClaim(claim.substr(colon + 1)) >= 0) settled.push_back(stored);
  }
  if (settled.empty()) return;
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniClaimed, settingsFile, [&](std::vector<std::string>& list) {
    std::erase_if(list, [&](const std::string& stored) { return Listed(settled, stored); });
  });
}

std::string ClaimEntry(const std::string& name) { return FormatInt(getpid()) + ":" + name; }

}  // namespace

void SetSweepSteps(SweepSteps* steps) { g_sweepSteps.store(steps ? steps : &g_realSweepSteps); }

void SettingsClaimRecord::Claiming(const std::string& name) {
  if (settingsFile_.empty()) return;
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniClaimed, settingsFile_,
                [&](std::vector<std::string>& list) { AddStored(list, ClaimEntry(name)); });
}

void SettingsClaimRecord::Settled(const std::string& name) {
  if (settingsFile_.empty()) return;
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniClaimed, settingsFile_,
                [&](std::vector<std::string>& list) { std::erase(list, StoredValue(ClaimEntry(name))); });
}

void JoinFolderRecord::Note(const std::string& folder) {
  if (settingsFile_.empty() || folder.empty()) return;
  if (!Listed(noted_, folder)) noted_.push_back(folder);
  if (!Listed(held_, folder)) {
    held_.push_back(folder);
    ChangeUse(folder, 1);
  }
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settingsFile_,
                [&](std::vector<std::string>& list) { AddStored(list, folder); });
}

void JoinFolderRecord::LetGo() {
  for (const std::string& folder : held_) ChangeUse(folder, -1);
  held_.clear();
}

void JoinFolderRecord::ForgetFinished() {
  LetGo();
  if (!settingsFile_.empty() && !noted_.empty()) ForgetCleanFolders(settingsFile_, &noted_);
}

void SweepJoinFolders(const std::string& settingsFile, const std::string& lastFolder) {
  std::vector<std::string> folders;
  if (!settingsFile.empty()) folders = ReadStoredList(settingsFile, mainwnd::kIniJoinRunning);
  if (!lastFolder.empty() && !Listed(folders, lastFolder)) folders.push_back(lastFolder);
  for (const std::string& folder : folders) Sweep().RemoveStale(folder);
  if (settingsFile.empty()) return;
  SweepClaims(settingsFile);
  ForgetCleanFolders(settingsFile, nullptr);
}

void JoinOutputPaths(const std::string& folder, const RecordingEntry& first, std::string& front, std::string& rear) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  front = first.frontPath.empty() ? std::string() : base + BaseName(first.frontPath);
  rear = first.rearPath.empty() ? std::string() : base + BaseName(first.rearPath);
}

bool JoinOutputIsInput(const std::string& front, const std::string& rear, const std::vector<RecordingEntry>& pairs,
                       JoinFolderRecord* record) {
  const std::string outputs[] = {front, rear};
  // Names tell the plain cases at once.
  for (const RecordingEntry& p : pairs)
    for (const std::string& in : {p.frontPath, p.rearPath})
      for (const std::string& out : outputs)
        if (!in.empty() && !out.empty() && SameNameIgnoringCase(BaseNameView(in), BaseNameView(out)) &&
            SameFileIgnoringCase(out, in))
          return true;
  // For an output that exists the file system is asked: a hidden file made
  // beside it and looked for in the inputs' folders tells whether the name
  // reaches an input (see SafeFileWriter::Protect).
  if (std::none_of(std::begin(outputs), std::end(outputs),
                   [](const std::string& out) { return !out.empty() && PathExists(out); }))
    return false;
  std::vector<int> inputs;
  for (const RecordingEntry& p : pairs)
    for (const std::string& in : {p.frontPath, p.rearPath}) {
      int err = 0;
      if (const int fd = in.empty() ? -1 : OpenRegularFile(in, &err); fd >= 0) inputs.push_back(fd);
    }
  bool reached = false;
  for (const std::string& out : outputs) {
    if (reached || out.empty() || !PathExists(out)) continue;
    SafeFileWriter probe;
    probe.Protect(inputs);
    if (record) probe.NoteFolder([record](const std::string& folder) { record->Note(folder); });
    reached = !probe.Open(out, SafeFileWriter::Existing::kReplace, SafeFileWriter::Temporary::kNamed) &&
              probe.ReachedProtected();
  }
  for (int fd : inputs) close(fd);
  return reached;
}

uint64_t JoinNeededBytes(const std::vector<RecordingEntry>& pairs) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t sum = 0;
  for (const RecordingEntry& p : pairs) {
    for (uint64_t v : {p.frontSize, p.rearSize}) {
      if (v > kMax - sum) return kMax;  // a folder row's size, or a sum past the range
      sum += v;
    }
  }
  return sum;
}

const char* JoinFaultText(JoinFault fault) {
  switch (fault) {
    case JoinFault::kNone: return "";
    case JoinFault::kCannotOpen: return "動画ファイルを開けません。";
    case JoinFault::kReadError: return "動画ファイルを読み込めません。";
    case JoinFault::kDamaged: return "動画ファイルが壊れています。";
    case JoinFault::kNotJoinable: return "形式の異なる動画は連結できません。";
    case JoinFault::kTooLong: return "連結後の動画が大きすぎます。";
    case JoinFault::kOutputIsInput: return "元の動画と同じファイルには出力できません。";
    case JoinFault::kReadOnly: return "出力先フォルダーに書き込めません。";
    case JoinFault::kDiskFull: return "出力先の空き容量が足りません。";
    case JoinFault::kWriteFailed: return "動画ファイルを書き込めません。";
    case JoinFault::kCancelled: return "";
  }
  return "";
}

JoinOutcome JoinPairs(const std::vector<RecordingEntry>& pairs, const std::string& frontOut,
                      const std::string& rearOut, const std::atomic<bool>& cancel, const FileOpProgress& progress,
                      JoinFolderRecord* record) {
  JoinOutcome out;
  auto notice = [&](int64_t done, int64_t total) {
    if (progress) progress(done, total);
  };
  auto stop = [&](FileOpResult r, JoinFault why) {
    out.result = r;
    out.fault = why;
    return out;
  };
  const int64_t n = static_cast<int64_t>(pairs.size());
  if (n == 0) return stop(FileOpResult::kFailed, JoinFault::kCannotOpen);
  sMULTIMOVIE join;
  if (!join.OpenPair(pairs[0].frontPath, pairs[0].rearPath)) return stop(FileOpResult::kFailed, join.fault);
  notice(1, n);
  for (int64_t i = 1; i < n; ++i) {
    if (cancel.load()) return stop(FileOpResult::kCancelled, JoinFault::kNone);
    const RecordingEntry& next = pairs[static_cast<size_t>(i)];
    if (!join.AppendMovie(next.frontPath, next.rearPath)) return stop(FileOpResult::kFailed, join.fault);
    notice(i, 2 * n);
  }
  notice(50, 100);
  if (cancel.load()) return stop(FileOpResult::kCancelled, JoinFault::kNone);
  notice(10, 100);
  // Both outputs are checked against every input before either is written;
  // a front already written stays when the rear fails.
  if (rearOut.empty()) join.rearOk = 0;
  join.cancel = &cancel;  // also taken between the writer's copy windows
  if (record) join.noteFolder = [record](const std::string& folder) { record->Note(folder); };
  if (record) join.claims = record->Claims();
  const JoinFault fault = join.Write(frontOut, rearOut);
  out.rearFault = join.rearFault;
  if (fault == JoinFault::kCancelled) return stop(FileOpResult::kCancelled, JoinFault::kNone);
  if (fault != JoinFault::kNone) return stop(FileOpResult::kFailed, fault);
  notice(40, 100);
  notice(100, 100);
  notice(n, n);
  return out;
}

}  // namespace qv
