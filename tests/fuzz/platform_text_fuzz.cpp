// Settings file, mountinfo and the small text helpers on arbitrary input.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "platform/apphelpers.h"
#include "platform/drives.h"
#include "platform/inifile.h"
#include "testsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qv::ParseMountInfo(text);
  qv::TrimVersionText(text);
  qv::FormatDateText6(text);
  qv::IsMp4FileName(text);

  static const std::string path = qvtest::ProcessFolder() + "/f.ini";
  qvtest::WriteText(path, text);
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
