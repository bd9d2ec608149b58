#include "registry/text_file.h"

#include <cstdint>

#include "registry/registry_text.h"

namespace varnisk::registry {

std::u16string DecodeTextFile(platform::CodePages& codePages, std::string_view bytes) {
  // Fewer than two bytes are kept as they are.
  if (bytes.size() < 2) return BytesToUnits(bytes);
  const auto first = static_cast<uint8_t>(bytes[0]);
  const auto second = static_cast<uint8_t>(bytes[1]);
  if (first == 0xFF && second == 0xFE) return BytesToUnits(bytes.substr(2));
  uint32_t codePage = platform::kCodePageAnsi;
  if (first == 0xEF && second == 0xBB) {
    // The third byte of the signature is dropped unread.
    bytes.remove_prefix(bytes.size() >= 3 ? 3 : 2);
    codePage = platform::kCodePageUtf8;
  }
  // UTF-16LE without a mark shows itself by a zero second byte (a Latin first character).
  if (bytes.size() < 2 || bytes[1] == 0) return BytesToUnits(bytes);
  return codePages.ToUtf16(codePage, bytes);
}

std::optional<std::u16string> LoadTextFile(const platform::Platform& platform,
                                           std::u16string_view path, uint64_t maxBytes) {
  auto bytes = platform.files->ReadFile(path, maxBytes);
  if (!bytes) return std::nullopt;
  return DecodeTextFile(*platform.codePages, *bytes);
}

}  // namespace varnisk::registry
