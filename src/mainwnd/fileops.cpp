#include "mainwnd/fileops.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <unordered_set>

#include "mainwnd/settingsfile.h"
#include "platform/atomicwrite.h"
#include "platform/inifile.h"
#include "platform/pathutil.h"
#include "recording/recording_files.h"

namespace qv {

const std::string& RowKey(const RecordingEntry& row) { return row.frontPath.empty() ? row.rearPath : row.frontPath; }

DeleteOutcome DeletePairs(const std::vector<RecordingEntry>& pairs, const std::atomic<bool>& cancel,
                          const FileOpProgress& progress) {
  DeleteOutcome out;
  const int64_t n = static_cast<int64_t>(pairs.size());
  for (int64_t i = n - 1; i >= 0; --i) {
    if (cancel.load()) {
      out.result = FileOpResult::kCancelled;
      return out;
    }
    const RecordingEntry& pair = pairs[static_cast<size_t>(i)];
    if (!DeleteRecordingPair(pair.frontPath, pair.rearPath, &out.error)) {
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

namespace {

// More folders than this are not remembered: the oldest go first.
constexpr size_t kMaxJoinFolders = 32;

bool Listed(const std::vector<std::string>& list, const std::string& folder) {
  return std::find(list.begin(), list.end(), folder) != list.end();
}

// Forgets those of `folders` (all when null) that hold no file under
// construction.  Looked at under the settings file's lock, so that a join
// remembering one of them meanwhile is never forgotten.
void ForgetCleanFolders(const std::string& settingsFile, const std::vector<std::string>* folders) {
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settingsFile, [&](std::vector<std::string>& list) {
    std::erase_if(list, [&](const std::string& f) {
      return (!folders || Listed(*folders, f)) && CountTemporaries(f) == 0;
    });
  });
}

}  // namespace

void JoinFolderRecord::Note(const std::string& folder) {
  if (settingsFile_.empty() || folder.empty()) return;
  if (!Listed(noted_, folder)) noted_.push_back(folder);
  UpdateIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settingsFile_, [&](std::vector<std::string>& list) {
    if (Listed(list, folder)) return;
    if (list.size() >= kMaxJoinFolders) list.erase(list.begin(), list.end() - (kMaxJoinFolders - 1));
    list.push_back(folder);
  });
}

void JoinFolderRecord::ForgetFinished() {
  if (!settingsFile_.empty() && !noted_.empty()) ForgetCleanFolders(settingsFile_, &noted_);
}

void SweepJoinFolders(const std::string& settingsFile, const std::string& lastFolder) {
  std::vector<std::string> folders;
  if (!settingsFile.empty()) folders = ReadIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settingsFile);
  if (!lastFolder.empty() && !Listed(folders, lastFolder)) folders.push_back(lastFolder);
  for (const std::string& folder : folders) RemoveStaleTemporaries(folder);
  if (!settingsFile.empty()) ForgetCleanFolders(settingsFile, nullptr);
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
