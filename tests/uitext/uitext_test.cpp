#include "uitext/uitext.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace qv {
namespace {

// Every byte of entries 0-183: a 64-bit FNV-1a digest of the texts, each
// followed by a NUL, taken from the approved list of texts.  A change of a
// single character anywhere in the table shows here.
TEST(UiText, WholeTableMatchesTheApprovedTexts) {
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
  // The rest holds no text, and the second block is the first, entry for entry.
  for (int i = 184; i < kUiTextCount; ++i) EXPECT_STREQ(GetUiTextIn(0, i), "") << i;
  for (int i = -1; i <= kUiTextCount; ++i) EXPECT_EQ(GetUiTextIn(0, i), GetUiTextIn(1, i)) << i;
}

// Out of range is empty, not a crash.  (Names and their texts: through
// their users, e.g. the trigger texts of recordingname_test.)
TEST(UiText, OutOfRangeIsEmpty) {
  for (int i : {-1, kUiTextCount, 100000, -100000}) EXPECT_STREQ(GetUiTextIn(0, i), "");
  EXPECT_STREQ(GetUiTextIn(2, 0), "");
  EXPECT_STREQ(GetUiTextIn(-1, 0), "");
  const int saved = UiLanguage;
  UiLanguage = 7;
  EXPECT_STREQ(GetUiText(UiText::FaceName), "");
  UiLanguage = 1;
  EXPECT_STREQ(GetUiText(UiText::FaceName), "メイリオ");
  UiLanguage = saved;
}

}  // namespace
}  // namespace qv
