#include "platform/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "testsupport.h"

namespace qv {
namespace {

using qvtest::ReadText;
using qvtest::WriteText;

TEST(IniFile, ReadNeverCreatesWriteDoes) {
  qvtest::TempDir dir;
  std::string path = dir / "Default_Folder.ini";
  EXPECT_EQ(ReadIniString("SOURCE", "FOLDER", path), "");
  EXPECT_EQ(ReadIniString("SOURCE", "FOLDER", path, "dflt"), "dflt");
  EXPECT_FALSE(std::filesystem::exists(path));
  // Removing from a missing file succeeds and still creates nothing.
  EXPECT_TRUE(WriteIniString("SOURCE", "FOLDER", std::nullopt, path));
  EXPECT_TRUE(WriteIniString("SOURCE", std::nullopt, std::nullopt, path));
  EXPECT_FALSE(std::filesystem::exists(path));

  EXPECT_TRUE(WriteIniString("SOURCE", "FOLDER", "/media/card/写真 1", path));
  EXPECT_EQ(ReadText(path), "[SOURCE]\nFOLDER=/media/card/写真 1\n");
  EXPECT_EQ(ReadIniString("SOURCE", "FOLDER", path), "/media/card/写真 1");
  // The folder holds the file and its lock file, no temporary one.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(IniFile, ReadingRules) {
  qvtest::TempDir dir;
  std::string path = dir / "a.ini";
  WriteText(path,
            "\xEF\xBB\xBF"
            "top=before any section\r\n"
            "[Main]\r\n"
            "  Volume  =  50  \r\n"
            "volume=second wins never\r\n"
            "quoted=\"  spaced  \"\r\n"
            "single='x'\r\n"
            "twice=\"\"a\"\"\r\n"
            "mismatch=\"a'\r\n"
            "empty=\r\n"
            ";comment=1\r\n"
            "novalue\r\n"
            "[ main ]\r\n"
            "extra=later section ignored\r\n"
            "[Other]\n"
            "k=v=w\n"
            "[Broken\n"
            "j=still Other\n");
  const struct {
    const char *section, *key, *value;
  } reads[] = {{"main", "VOLUME", "50"},     {"MAIN", "quoted", "  spaced  "},
               {"Main", "single", "x"},      {"Main", "twice", "\"a\""},
               {"Main", "mismatch", "\"a'"}, {"Main", "empty", ""},
               {"Main", ";comment", "d"},    {"Main", "novalue", "d"},
               {"Main", "extra", "d"},       {"Main", "top", "d"},
               {"other", "k", "v=w"},        {"other", "j", "still Other"},
               {"Broken", "j", "d"},         {"Missing", "k", "d"}};
  for (const auto& r : reads)
    EXPECT_EQ(ReadIniString(r.section, r.key, path, "d"), r.value) << r.section << " " << r.key;
}

TEST(IniFile, WritesKeepEveryOtherLineInPlace) {
  qvtest::TempDir dir;
  std::string path = dir / "a.ini";
  WriteText(path,
            "; settings\r\n"
            "[Main]\r\n"
            "Volume = 50\r\n"
            "; aspect comment\r\n"
            "Aspect=1\r\n"
            "\r\n"
            "[Window]\r\n"
            "SCALEX=1.000000\r\n");
  EXPECT_TRUE(WriteIniString("main", "volume", "75", path));
  EXPECT_TRUE(WriteIniString("Main", "Hw", "0", path));
  EXPECT_TRUE(WriteIniString("Window", "SCALEY", "1.250000", path));
  EXPECT_TRUE(WriteIniString("New", "a", "b", path));
  EXPECT_EQ(ReadText(path),
            "; settings\n"
            "[Main]\n"
            "Volume=75\n"
            "; aspect comment\n"
            "Aspect=1\n"
            "Hw=0\n"
            "\n"
            "[Window]\n"
            "SCALEX=1.000000\n"
            "SCALEY=1.250000\n"
            "[New]\n"
            "a=b\n");

  // No value removes the key, no key the section with all its lines.
  EXPECT_TRUE(WriteIniString("MAIN", "aspect", std::nullopt, path));
  EXPECT_TRUE(WriteIniString("window", std::nullopt, std::nullopt, path));
  EXPECT_EQ(ReadText(path),
            "; settings\n"
            "[Main]\n"
            "Volume=75\n"
            "; aspect comment\n"
            "Hw=0\n"
            "\n"
            "[New]\n"
            "a=b\n");
  // A section header with no keys gets its first key right after it.
  WriteText(path, "[A]\n\n[B]\nx=1");
  EXPECT_TRUE(WriteIniString("A", "k", "v", path));
  EXPECT_TRUE(WriteIniString("B", "y", "2", path));
  EXPECT_EQ(ReadText(path), "[A]\nk=v\n\n[B]\nx=1\ny=2\n");
}

TEST(IniFile, RefusesWhatCannotBeStoredAndKeepsTheFile) {
  qvtest::TempDir dir;
  std::string path = dir / "a.ini";
  WriteText(path, "[S]\nk=v\n");
  const char* refused[][3] = {
      {"S", "k", "two\nlines"}, {"S", "a=b", "v"}, {"S", "", "v"}, {"S", " k", "v"}, {"S", ";k", "v"}, {"", "k", "v"},
      {"a]b", "k", "v"}, {"S\r", "k", "v"},
      // Values the reader would give back changed.
      {"S", "k", " v"}, {"S", "k", "v\t"}, {"S", "k", "\"v\""}, {"S", "k", "'v'"}, {"S", "k", "''"}};
  for (const auto& r : refused)
    EXPECT_FALSE(WriteIniString(r[0], r[1], r[2], path)) << r[0] << " " << r[1] << " " << r[2];
  EXPECT_EQ(ReadText(path), "[S]\nk=v\n");
  EXPECT_TRUE(WriteIniString("S", "k", "\"v", path));
  EXPECT_EQ(ReadIniString("S", "k", path), "\"v");
  // Every CR before a line's LF belongs to the line end.
  WriteText(path, "[Other]\nkey=1\r\r\n");
  EXPECT_EQ(ReadIniString("Other", "key", path), "1");
  EXPECT_TRUE(WriteIniString("Other", "k2", "2", path));
  EXPECT_EQ(ReadText(path), "[Other]\nkey=1\nk2=2\n");
  // A folder that does not exist, or a folder in place of the file.
  EXPECT_FALSE(WriteIniString("S", "k", "v", dir / "missing/a.ini"));
  std::filesystem::create_directory(dir / "sub.ini");
  EXPECT_FALSE(WriteIniString("S", "k", "v", dir / "sub.ini"));
  EXPECT_EQ(ReadIniString("S", "k", dir / "sub.ini", "d"), "d");
}

TEST(IniFile, KeepsPermissionsAndFollowsLinks) {
  qvtest::TempDir dir;
  std::string path = dir / "a.ini";
  WriteText(path, "[S]\nk=v\n");
  chmod(path.c_str(), 0640);
  std::filesystem::create_symlink(path, dir / "link.ini");
  EXPECT_TRUE(WriteIniString("S", "k", "w", dir / "link.ini"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadIniString("S", "k", path), "w");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Writers in several programs at once (the lock that keeps them apart
// serialises the threads of one program as well).
TEST(IniFile, ProgramsWritingAtOnceLoseNothing) {
  qvtest::TempDir dir;
  const std::string path = dir / "a.ini";
  std::vector<pid_t> programs;
  for (const char* section : {"A", "B", "C", "D"}) {
    if (const pid_t child = fork(); child != 0) {
      programs.push_back(child);
      continue;
    }
    for (int k = 0; k < 16; ++k) WriteIniString(section, "k" + std::to_string(k), section, path);
    _exit(0);
  }
  for (pid_t child : programs) waitpid(child, nullptr, 0);
  for (const char* section : {"A", "B", "C", "D"})
    for (int k = 0; k < 16; ++k) EXPECT_EQ(ReadIniString(section, "k" + std::to_string(k), path), section) << k;
}

// A list under one key: a file that holds one value there (as written
// before the key held a list) reads as a list of one; changes go in one
// locked step each, so programs adding and removing at once lose nothing.
TEST(IniFile, ListsReadASingleValueAndChangeInOneStep) {
  qvtest::TempDir dir;
  const std::string path = dir / "a.ini";
  EXPECT_TRUE(ReadIniList("F", "DIR", path).empty());
  WriteText(path, "[F]\nLAST=/x\nDIR=/media/card/out\n; a note\n[G]\nDIR2=/elsewhere\n");
  EXPECT_EQ(ReadIniList("f", "dir", path), std::vector<std::string>{"/media/card/out"});
  auto add = [&](const std::string& v) {
    return UpdateIniList("F", "DIR", path, [&](std::vector<std::string>& l) { l.push_back(v); });
  };
  ASSERT_TRUE(add("/media/card/real") && add("/tmp/a=b;c"));
  EXPECT_EQ(ReadText(path), "[F]\nLAST=/x\nDIR=/media/card/out\nDIR2=/media/card/real\nDIR3=/tmp/a=b;c\n; a note\n"
                            "[G]\nDIR2=/elsewhere\n");
  // Removing the first renumbers the rest in place; a value that cannot be
  // stored changes nothing.
  ASSERT_TRUE(UpdateIniList("F", "DIR", path, [](std::vector<std::string>& l) { l.erase(l.begin()); }));
  EXPECT_EQ(ReadText(path), "[F]\nLAST=/x\nDIR=/media/card/real\nDIR2=/tmp/a=b;c\n; a note\n[G]\nDIR2=/elsewhere\n");
  EXPECT_FALSE(add("two\nlines"));
  EXPECT_FALSE(add(" blank"));
  EXPECT_EQ(ReadIniList("F", "DIR", path), (std::vector<std::string>{"/media/card/real", "/tmp/a=b;c"}));
  // Hand-edited numbers count by their value; other names are no entries.
  WriteText(path, "[F]\nDIR10=/c\nDIR02=/no\nDIRX=/no\nDIR=\nDIR3=/b\nDIR2=/a\n");
  EXPECT_EQ(ReadIniList("F", "DIR", path), (std::vector<std::string>{"/a", "/b", "/c"}));
  ASSERT_TRUE(UpdateIniList("F", "DIR", path, [](std::vector<std::string>& l) { l.clear(); }));
  EXPECT_EQ(ReadText(path), "[F]\nDIR02=/no\nDIRX=/no\n");

  std::vector<pid_t> programs;
  for (int p = 0; p < 4; ++p) {
    if (const pid_t child = fork(); child != 0) {
      programs.push_back(child);
      continue;
    }
    for (int k = 0; k < 8; ++k) add("/p" + std::to_string(p) + "/" + std::to_string(k));
    for (int k = 0; k < 8; k += 2)
      UpdateIniList("F", "DIR", path, [&](std::vector<std::string>& l) {
        std::erase(l, "/p" + std::to_string(p) + "/" + std::to_string(k));
      });
    _exit(0);
  }
  for (pid_t child : programs) waitpid(child, nullptr, 0);
  std::vector<std::string> list = ReadIniList("F", "DIR", path);
  std::sort(list.begin(), list.end());
  std::vector<std::string> expected;
  for (int p = 0; p < 4; ++p)
    for (int k = 1; k < 8; k += 2) expected.push_back("/p" + std::to_string(p) + "/" + std::to_string(k));
  EXPECT_EQ(list, expected);
}

}  // namespace
}  // namespace qv
