// The user-visible texts of the program, as pure data (no GUI library).
//
// Texts are looked up by number ("UI n") in the block of the current
// language.  All texts are UTF-8.
#pragma once

namespace qv {

constexpr int kUiTextCount = 260;     // entries per language block
constexpr int kUiLanguageCount = 2;   // language blocks

// Block index used by GetUiText; 0 by default, set once at start-up.
extern int UiLanguage;

// Entry `index` of block UiLanguage; "" for an index or language out of
// range and for entries that hold no text.
const char* GetUiText(int index);
const char* GetUiTextIn(int language, int index);

// True when the entry holds no text (also for an index out of range).
bool IsUiTextNull(int index);

}  // namespace qv
