#pragma once
// LoadTextFile: a whole device file as UTF-16 text, whichever of the device's three
// text encodings it uses (UTF-16LE with or without byte-order mark, UTF-8 with its
// signature, or the ANSI code page).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace varnisk::registry {

// The text of the file at path (at most maxBytes of it), without a byte-order mark or
// signature; nullopt when the file cannot be opened. An odd last byte of UTF-16 text
// becomes the low byte of a unit of its own.
std::optional<std::u16string> LoadTextFile(const platform::Platform& platform,
                                           std::u16string_view path,
                                           uint64_t maxBytes = UINT64_MAX);

// The same decision on bytes already read.
std::u16string DecodeTextFile(platform::CodePages& codePages, std::string_view bytes);

}  // namespace varnisk::registry
