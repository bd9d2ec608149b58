#include "registry/text_file.h"

#include <cstdint>

namespace varnisk::registry {
namespace {

// UTF-16LE bytes as units; an odd last byte is the low byte of a last unit.
std::u16string Utf16Units(std::string_view bytes) {
  std::u16string text;
  const size_t count = (bytes.size() + 1) / 2;
  // The callback's size argument is not used: this standard library passes the capacity.
  text.resize_and_overwrite(count, [&](char16_t* units, size_t) {
    for (size_t i = 0; i < count; ++i) {
      const auto low = static_cast<uint8_t>(bytes[2 * i]);
      const auto high = 2 * i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[2 * i + 1]) : 0;
      units[i] = static_cast<char16_t>(low | high << 8);
    }
    return count;
  });
  return text;
}

}  // namespace

std::u16string DecodeTextFile(platform::CodePages& codePages, std::string_view bytes) {
  // Fewer than two bytes are kept as they are.
  if (bytes.size() < 2) return Utf16Units(bytes);
  const auto first = static_cast<uint8_t>(bytes[0]);
  const auto second = static_cast<uint8_t>(bytes[1]);
  if (first == 0xFF && second == 0xFE) return Utf16Units(bytes.substr(2));
  uint32_t codePage = platform::kCodePageAnsi;
  if (first == 0xEF && second == 0xBB) {
    // The third byte of the signature is dropped unread.
    bytes.remove_prefix(bytes.size() >= 3 ? 3 : 2);
    codePage = platform::kCodePageUtf8;
  }
  // UTF-16LE without a mark shows itself by a zero second byte (a Latin first character).
  if (bytes.size() < 2 || bytes[1] == 0) return Utf16Units(bytes);
  return codePages.ToUtf16(codePage, bytes);
}

std::optional<std::u16string> LoadTextFile(const platform::Platform& platform,
                                           std::u16string_view path, uint64_t maxBytes) {
  auto bytes = platform.files->ReadFile(path, maxBytes);
  if (!bytes) return std::nullopt;
  return DecodeTextFile(*platform.codePages, *bytes);
}

}  // namespace varnisk::registry
