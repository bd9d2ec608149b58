#pragma once
// Turns fuzz bytes into the program's UTF-16 text: a first byte of 0 takes the rest as
// UTF-16LE units (every unit value reachable); otherwise the bytes are UTF-8, so that
// seed inputs can be written as plain text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/utf.h"

namespace varnisk::fuzz {

// Scripts that call or load themselves more than once a level run exponentially long
// (as they would on the device); the targets bound the runs one input may start, so that
// one input cannot stall the fuzzer.
constexpr int64_t kFuzzRuns = 2000;

inline std::u16string FuzzText(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == 0) {
    std::u16string text;
    for (size_t i = 1; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
  }
  return platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
}

}  // namespace varnisk::fuzz
