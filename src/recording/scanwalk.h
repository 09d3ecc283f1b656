// The walk behind ScanFolderEntries and FillFolderTree.
//
// The walk lists every folder it is going to enter first, in the order it
// takes them.  Each listed folder is handed at once to a few reader threads
// (ScanContext::readers), which take its movies a few at a time without a
// lock and do all the per-file work: the pair's names, the movie's summary
// and, for a complete movie whose partner is not in the listing, the
// partner's.  The caller's thread then goes through the folders in order
// and only makes the rows, the tree and the report from what was read; while
// a folder it needs is still being read it reads movies itself.  Rows, tree
// and report are therefore the same with any number of readers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "recording/discovery.h"

namespace qv {

// Builds one row from the summaries of its movies (null for an empty path)
// and appends it with the scan's next running number.
void AppendEntry(const std::string& frontPath, const MovieSummary* front, const std::string& rearPath,
                 const MovieSummary* rear, std::vector<RecordingEntry>& entries, ScanContext& ctx);

class ScanWalk {
 public:
  ScanWalk(std::vector<RecordingEntry>& entries, ScanContext& ctx);
  // Stops the readers and remembers what the folders walked to the end read.
  ~ScanWalk();
  ScanWalk(const ScanWalk&) = delete;
  ScanWalk& operator=(const ScanWalk&) = delete;

  bool Scan(const std::string& folder, int* fileCounter, int depth);
  bool Fill(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
            std::vector<RecordingEntry>* folderRows, bool recurse, int* pairCounter, int depth);

 private:
  enum class Enter { kAll, kDateFolders, kNone };
  struct Facts;
  struct Folder;

  Folder* List(const std::string& path, int depth, Enter enter);
  void Publish(Folder* folder);
  void StartReaders();
  void Run();
  bool ReadSome(Folder& folder);
  void ReadFacts(Folder& folder, size_t item);
  bool WaitRead(Folder& folder);
  static int PairItem(const Facts& facts, size_t item, bool front);
  // The file's partner is listed beside it as a movie, which the readers
  // read for itself.
  static bool PartnerIsMovie(const Folder& folder, const Facts& x);
  bool Taken(const Folder& folder, size_t item) const;
  bool TakeFile(Folder& folder, size_t item, const MovieSummary*& self);
  bool OrderScan(Folder& folder, int* fileCounter);
  bool OrderFill(Folder& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                 std::vector<RecordingEntry>* folderRows, bool recurse, int* pairCounter, uint32_t* mask);
  void Remember(Folder& folder);

  std::vector<RecordingEntry>& entries_;
  ScanContext& ctx_;
  // The pairs of the rows given (a rescan into the same rows).
  std::unordered_set<std::string> frontKeys_, rearKeys_;
  std::vector<std::unique_ptr<Folder>> folders_;  // in the order listed
  std::unique_ptr<Folder> head_;                  // before the first: where readers start
  Folder* tail_;                                  // the last published
  Folder* help_;                                  // where the walk looks for movies to read
  std::mutex mutex_;
  std::condition_variable published_;  // a folder published, or stop
  std::condition_variable read_;       // a folder read to its end
  std::atomic<bool> stop_{false};
  bool poolTried_ = false;
  std::vector<std::thread> pool_;  // last: joined before the rest goes
};

}  // namespace qv
