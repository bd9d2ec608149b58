#pragma once
// Conversion between the program's UTF-16 text and UTF-8, the encoding of host paths,
// the terminal and the log file. Malformed input becomes U+FFFD and the conversion goes
// on, as the device's own UTF-8 conversion does.

#include <string>
#include <string_view>

namespace varnisk::platform {

std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

// Adds the UTF-8 bytes of one code point (at most U+10FFFF, no surrogate) to out.
void AppendUtf8(std::string& out, char32_t c);

// True when every byte is below 0x80: such text reads the same in every code page the
// device supports, so it needs no conversion table.
bool IsAscii(std::string_view bytes);

// Widens ASCII bytes one to one.
std::u16string WidenAscii(std::string_view bytes);

}  // namespace varnisk::platform
