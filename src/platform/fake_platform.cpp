#include "platform/fake_platform.h"

#include "platform/utf.h"

namespace varnisk::platform {

std::u16string FakeCodePages::ToUtf16(uint32_t codePage, std::string_view bytes) {
  if (codePage == kCodePageUtf8) return Utf8ToUtf16(bytes);
  std::u16string text;
  for (char byte : bytes) {
    const auto unit = static_cast<uint8_t>(byte);
    text.push_back(unit < 0x80 ? unit : u'\xFFFD');
  }
  return text;
}

std::string FakeCodePages::FromUtf16(uint32_t codePage, std::u16string_view text) {
  if (codePage == kCodePageUtf8) return Utf16ToUtf8(text);
  std::string bytes;
  for (char16_t unit : text) bytes.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return bytes;
}

}  // namespace varnisk::platform
