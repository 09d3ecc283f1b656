#include "testsupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/numtext.h"

namespace qvtest {

std::string NewFolder(const std::string& tag) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/qv_" + tag + "_XXXXXX";
  return mkdtemp(templ.data()) ? templ : std::string();
}

const std::string& ProcessFolder(bool inMemory) {
  static const std::string folder = [inMemory] {
    std::string made;
    if (inMemory && access("/dev/shm", W_OK) == 0) {
      std::string templ = "/dev/shm/qv_process_XXXXXX";
      if (mkdtemp(templ.data())) made = templ;
    }
    if (made.empty()) made = NewFolder("process");
    if (made.empty()) std::abort();
    return made;
  }();
  static const int removal = std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
  (void)removal;
  return folder;
}

TempDir::TempDir() : path_(NewFolder("test")) {
  if (path_.empty()) std::abort();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& rel, const std::string& bytes) const {
  const std::filesystem::path p = std::filesystem::path(path_) / rel;
  std::filesystem::create_directories(p.parent_path());
  WriteText(p.string(), bytes);
  return p.string();
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (old) saved_ = old;
  Set(value);
}

ScopedEnv::~ScopedEnv() { Set(had_ ? saved_.c_str() : nullptr); }

void ScopedEnv::Set(const char* value) {
  if (value)
    setenv(name_.c_str(), value, 1);
  else
    unsetenv(name_.c_str());
  if (name_ == "TZ") tzset();
}

DecimalCommaLocale::DecimalCommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if ((active = std::setlocale(LC_ALL, name) != nullptr)) break;
}

DecimalCommaLocale::~DecimalCommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }

bool WriteSparse(const std::string& path, uint64_t size, const std::vector<std::pair<uint64_t, std::string>>& pieces) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
  for (const auto& [offset, bytes] : pieces)
    ok = ok && pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size());
  if (fd >= 0) close(fd);
  return ok;
}

std::string FixtureEntry::Text(const std::string& key) const {
  auto it = facts.find(key);
  return it == facts.end() ? std::string() : it->second;
}

int64_t FixtureEntry::Int(const std::string& key) const {
  int64_t v = -1;
  return qv::ParseInt64(Text(key), v) ? v : -1;
}

std::string FixtureDir() {
  const char* env = std::getenv("QV_FIXTURE_DIR");
  return env && *env ? env : QV_FIXTURE_DIR;
}

namespace {

const std::vector<FixtureEntry>& FixtureManifest() {
  static const std::vector<FixtureEntry> entries = [] {
    std::vector<FixtureEntry> out;
    const std::string dir = FixtureDir();
    std::istringstream in(ReadText(dir + "/MANIFEST.txt"));
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      FixtureEntry e;
      std::istringstream cols(line);
      std::string rel, facts;
      std::getline(cols, e.role, '\t');
      std::getline(cols, rel, '\t');
      std::getline(cols, facts);
      e.path = dir + "/" + rel;
      std::istringstream words(facts);
      for (std::string w; words >> w;) {
        const size_t eq = w.find('=');
        if (eq != std::string::npos) e.facts[w.substr(0, eq)] = w.substr(eq + 1);
      }
      out.push_back(std::move(e));
    }
    return out;
  }();
  return entries;
}

const FixtureEntry* FindFixture(const std::string& role) {
  for (const FixtureEntry& e : FixtureManifest())
    if (e.role == role) return &e;
  return nullptr;
}

}  // namespace

std::string Fixture(const std::string& role) {
  const FixtureEntry* e = FindFixture(role);
  return e ? e->path : std::string();
}

int64_t FixtureFact(const std::string& role, const std::string& key) {
  const FixtureEntry* e = FindFixture(role);
  return e ? e->Int(key) : -1;
}

std::vector<const FixtureEntry*> FixtureMovies() {
  std::vector<const FixtureEntry*> movies;
  for (const FixtureEntry& e : FixtureManifest())
    if (e.facts.count("camera")) movies.push_back(&e);
  return movies;
}

pid_t EndedProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  if (child > 0) waitpid(child, nullptr, 0);
  return child;
}

int HandTemporariesToAnEndedProcess(const std::string& folder) {
  const std::string mine = ".qvtmp-" + std::to_string(getpid()) + "-";
  const std::string ended = ".qvtmp-" + std::to_string(EndedProcessId()) + "-";
  int renamed = 0;
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
  }
  for (const std::string& name : names) {
    const size_t at = name.rfind(mine);
    if (name.empty() || name[0] != '.' || at == std::string::npos) continue;
    const std::string to = name.substr(0, at) + ended + name.substr(at + mine.size());
    renamed += std::rename((folder + "/" + name).c_str(), (folder + "/" + to).c_str()) == 0 ? 1 : 0;
  }
  return renamed;
}

namespace {

// One of the counts of /proc/self/io, read in one call of the whole text.
int64_t IoCount(const char* key) {
  const int fd = open("/proc/self/io", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[1024];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return -1;
  text[n] = 0;
  const char* at = std::strstr(text, key);
  return at ? std::strtoll(at + std::strlen(key), nullptr, 10) : -1;
}

}  // namespace

int64_t ReadCallsSoFar() { return IoCount("syscr:"); }

int64_t ReadBytesSoFar() { return IoCount("rchar:"); }

void DropCachedPages(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int64_t ResidentKiB() {
  const std::string status = ReadText("/proc/self/status");
  const size_t at = status.find("VmRSS:");
  if (at == std::string::npos) return 0;
  return qv::ReadInt64Field(std::string_view(status).substr(at + 6));
}

std::string MadeOnce(const std::string& folder, const std::string& mkrec, const std::string& arguments) {
  const std::filesystem::path done = std::filesystem::path(folder) / ".complete";
  std::error_code ec;
  if (std::filesystem::exists(done, ec)) return folder;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);
  // mkrec's arguments: the kind first, then the folder, then the options.
  const size_t kindEnd = arguments.find(' ');
  const std::string cmd = "'" + mkrec + "' " + arguments.substr(0, kindEnd) + " '" + folder + "'" +
                          (kindEnd == std::string::npos ? std::string() : arguments.substr(kindEnd)) + " >/dev/null";
  if (std::system(cmd.c_str()) != 0 || !WriteText(done.string(), "")) return {};
  return folder;
}

}  // namespace qvtest
