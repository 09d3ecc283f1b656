// Settings file, mountinfo and the small text helpers on arbitrary input.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/apphelpers.h"
#include "platform/drives.h"
#include "platform/inifile.h"

namespace {

const std::string& IniPath() {
  static const std::string path = [] {
    const char* tmp = getenv("TMPDIR");
    static std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/qvfuzz-XXXXXX";
    if (!mkdtemp(folder.data())) abort();
    // Gone at the end with the settings file's lock beside it.
    atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
    return folder + "/f.ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qv::ParseMountInfo(text);
  qv::TrimVersionText(text);
  qv::FormatDateText6(text);
  qv::IsMp4FileName(text);

  const std::string& path = IniPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  qv::ReadIniString("SOURCE", "FOLDER", path);
  // Whatever the file held, a write must read back, and other keys survive.
  const std::string before = qv::ReadIniString("Other", "key", path);
  if (qv::WriteIniString("Source", "folder", "/media/card", path)) {
    if (qv::ReadIniString("SOURCE", "FOLDER", path) != "/media/card") abort();
    if (qv::ReadIniString("Other", "key", path) != before) abort();
  }
  qv::WriteIniString("SOURCE", "FOLDER", std::nullopt, path);
  qv::WriteIniString("Other", std::nullopt, std::nullopt, path);
  return 0;
}
