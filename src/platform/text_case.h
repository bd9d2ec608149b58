#pragma once
// Case-insensitive comparison of device text, for file names and text comparisons that
// the device makes without regard to case.

#include <string_view>

namespace varnisk::platform {

// The upper-case form of a letter of the Latin, Greek or Cyrillic alphabets; every other
// unit is its own upper case.
char16_t UpperCase(char16_t c);

bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Negative, zero or positive as a sorts before, with or after b, ignoring case.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace varnisk::platform
