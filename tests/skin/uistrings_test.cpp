#include "skin/uistrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace qv {
namespace {

// Decodes UTF-8 into code points (the table's texts are valid UTF-8).
std::u32string CodePoints(const char* s) {
  std::u32string out;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    char32_t c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) c &= 0x3F >> extra;
    ++p;
    for (int i = 0; i < extra; ++i, ++p) {
      EXPECT_EQ(*p & 0xC0, 0x80) << s;
      c = (c << 6) | (*p & 0x3F);
    }
    out.push_back(c);
  }
  return out;
}

bool Contains(int index, char32_t c) { return CodePoints(GetUiText(index)).find(c) != std::u32string::npos; }

TEST(UiStrings, FilledAndNullEntries) {
  for (int i = 0; i < 184; ++i) {
    EXPECT_FALSE(IsUiTextNull(i)) << i;
    EXPECT_GT(std::strlen(GetUiText(i)), 0u) << i;
  }
  for (int i = 184; i < kUiTextCount; ++i) {
    EXPECT_TRUE(IsUiTextNull(i)) << i;
    EXPECT_STREQ(GetUiText(i), "") << i;
  }
}

TEST(UiStrings, OutOfRangeIsEmptyNotACrash) {
  for (int i : {-1, kUiTextCount, 100000, -100000}) {
    EXPECT_STREQ(GetUiText(i), "");
    EXPECT_TRUE(IsUiTextNull(i));
  }
  EXPECT_STREQ(GetUiTextIn(2, 0), "");
  EXPECT_STREQ(GetUiTextIn(-1, 0), "");
  const int saved = UiLanguage;
  UiLanguage = 7;
  EXPECT_STREQ(GetUiText(0), "");
  UiLanguage = saved;
}

TEST(UiStrings, BothBlocksHoldTheSameTexts) {
  for (int i = -1; i <= kUiTextCount; ++i) EXPECT_EQ(GetUiTextIn(0, i), GetUiTextIn(1, i)) << i;
  const int saved = UiLanguage;
  UiLanguage = 1;
  EXPECT_STREQ(GetUiText(164), "衝撃");
  UiLanguage = saved;
}

TEST(UiStrings, TextsTheProgramDependsOn) {
  EXPECT_STREQ(GetUiText(0), "閉じる");
  EXPECT_STREQ(GetUiText(44), "完了しました。");
  EXPECT_STREQ(GetUiText(45), "終了");
  EXPECT_STREQ(GetUiText(112), "メイリオ");  // the fonts' face name
  EXPECT_STREQ(GetUiText(183), "後続車接近");
  // Repeated texts keep their own indices.
  EXPECT_STREQ(GetUiText(43), GetUiText(3));
  for (auto [copy, original] : {std::pair{78, 0}, {79, 4}, {80, 6}, {81, 10}, {82, 11}, {83, 12}, {84, 16}, {85, 17},
                                {86, 19}, {181, 179}, {182, 179}})
    EXPECT_STREQ(GetUiText(copy), GetUiText(original)) << copy;
}

TEST(UiStrings, SpecialCharacters) {
  for (int i : {65, 66, 67}) EXPECT_TRUE(Contains(i, 0x3000)) << i;  // ideographic space
  EXPECT_TRUE(Contains(25, 0xFF0B));                                 // full-width plus
  for (int i : {88, 89}) EXPECT_TRUE(Contains(i, 0xFF08) && Contains(i, 0xFF09)) << i;
  for (int i : {107, 109}) EXPECT_TRUE(Contains(i, 0xFF1A)) << i;  // full-width colon
  for (int i : {118, 119, 120, 122}) {
    EXPECT_TRUE(Contains(i, U':')) << i;
    EXPECT_FALSE(Contains(i, 0xFF1A)) << i;
  }
  EXPECT_EQ(CodePoints(GetUiText(5)), U"回転 180\u00B0");
  EXPECT_NE(std::string(GetUiText(105)).find("。\r\nダウンロード"), std::string::npos);
  EXPECT_STREQ(GetUiText(180), "拡大モードです\n\n拡大したい場所を\nクリックしてください");
  EXPECT_STREQ(GetUiText(33), "%d個");
}

// Every byte of entries 0-183: a 64-bit FNV-1a digest of the texts, each
// followed by a NUL, taken from the approved list of texts.  A change of a
// single character anywhere in the table shows here.
TEST(UiStrings, WholeTableMatchesTheApprovedTexts) {
  uint64_t hash = 0xcbf29ce484222325ull;
  size_t bytes = 0;
  for (int i = 0; i < 184; ++i) {
    const char* text = GetUiTextIn(0, i);
    for (const char* p = text;; ++p) {
      hash = (hash ^ static_cast<unsigned char>(*p)) * 0x100000001b3ull;
      if (*p == '\0') break;
      ++bytes;
    }
  }
  EXPECT_EQ(bytes, 3732u);
  EXPECT_EQ(hash, 0x7d7dc7803c6365afull);
}

}  // namespace
}  // namespace qv
