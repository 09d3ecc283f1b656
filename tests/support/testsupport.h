// What the tests and benchmarks share: a temporary folder, whole-file reads
// and writes, and the fixture tool's recordings by their role.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

// A fresh empty folder under the system's temporary folder ($TMPDIR or
// /tmp); empty when none can be made.  The caller removes it.
std::string NewFolder(const std::string& tag);

// A folder of this process's own, made at the first call (on the memory file
// system when `inMemory` and there is one) and removed with everything in it
// when the process exits: for fuzzers, which have no test to end.
const std::string& ProcessFolder(bool inMemory = false);

// A fresh folder removed with everything in it at the end of a test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes `bytes` to the relative path `rel` (folders made) and answers its full path.
  std::string Write(const std::string& rel, const std::string& bytes) const;

 private:
  std::string path_;
};

std::string ReadText(const std::string& path);
bool WriteText(const std::string& path, const std::string& text);
// A new file of `size` bytes holding each (offset, bytes) piece and holes
// elsewhere; false when the file system cannot hold it.
bool WriteSparse(const std::string& path, uint64_t size, const std::vector<std::pair<uint64_t, std::string>>& pieces);

// The median of `values` (the mean of the two middle ones for an even
// count); 0 for none.  For the benchmarks' figures.
double Median(std::vector<double> values);
// Drops the cached pages of `paths` (written back first), so that the next
// read of them comes from the disk: posix_fadvise DONTNEED, which needs no
// root.  For the benchmarks' cold runs.
void DropCachedPages(const std::vector<std::string>& paths);
// This process's resident memory in KiB (VmRSS); 0 where it cannot be read.
int64_t ResidentKiB();
// A folder of recordings that `mkrec` makes once with `arguments` ("pair
// --count ..."): `folder` itself, made anew unless a run before completed
// it; empty when mkrec fails.  For the benchmarks' cached cards.
std::string MadeOnce(const std::string& folder, const std::string& mkrec, const std::string& arguments);

// The id of a process that has ended (and is not reused while the test runs,
// as far as the system's counting goes).
pid_t EndedProcessId();
// Renames this process's files under construction in `folder`
// (".NAME.qvtmp-<pid>-<n>") as if a process that has ended had made them:
// the program that left them "ends" while the test goes on.  Answers how
// many were renamed.
int HandTemporariesToAnEndedProcess(const std::string& folder);

// How many read calls (read, pread and their kin) the process has made so
// far, as the kernel counts them (/proc/self/io); -1 where it does not.
int64_t ReadCallsSoFar();
// How many bytes those calls (and the kernel's file-to-file copies) have
// read so far, from any file or cache (/proc/self/io "rchar"); -1 where
// the kernel does not count them.
int64_t ReadBytesSoFar();

// Sets an environment variable (unsets it for nullptr) and puts the old
// value back at the end of the scope; for "TZ" the time zone is reloaded.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const char* value);

 private:
  std::string name_, saved_;
  bool had_;
};

// Switches LC_ALL to a decimal-comma locale for the scope, when the machine
// has one (`active`), and back at its end.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale();
  ~DecimalCommaLocale();
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
  bool active = false;

 private:
  std::string saved_;
};

// The recordings `mkrec tests` makes, listed in the tree's MANIFEST.txt, one
// line each: role, path under the tree, then key=value facts.
struct FixtureEntry {
  std::string role;
  std::string path;  // full path
  std::map<std::string, std::string> facts;
  std::string Text(const std::string& key) const;
  int64_t Int(const std::string& key) const;  // -1 when missing
};

// $QV_FIXTURE_DIR, else the build's fixture folder.
std::string FixtureDir();
// The recording's full path; empty when the role is not listed (or there
// is no fixture tree).
std::string Fixture(const std::string& role);
int64_t FixtureFact(const std::string& role, const std::string& key);
// The manifest's entries that name a movie file, in file order.
std::vector<const FixtureEntry*> FixtureMovies();

}  // namespace qvtest
