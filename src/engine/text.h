#pragma once
// Small helpers on the device's wide text, shared by every command.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnisk::engine {

// The argument separator: every comma of a script line becomes this unit.
constexpr char16_t kArgSep = 1;

// 0 to 15 for "0"-"9", "A"-"F" and "a"-"f"; 0 for every other unit.
int HexDigitValue(char16_t c);

// Equality that folds only the ASCII letters.
bool CharEqualNoCase(char16_t a, char16_t b);

// How many leading units text and word share under CharEqualNoCase; stops at the end of
// text and at the end of word.
size_t PrefixLengthNoCase(const char16_t* text, std::u16string_view word);

// Length of a terminated text.
size_t TextLength(const char16_t* text);

// The text from p to its terminator.
inline std::u16string_view TextView(const char16_t* p) { return {p, TextLength(p)}; }

// Passes over spaces and tabs.
char16_t* SkipBlanks(char16_t* p);

// Replaces the first kArgSep in text with a terminator and returns what follows it, or
// the empty text at the end of text when there is none.
char16_t* SplitAtArgSep(char16_t* text);

}  // namespace varnisk::engine
