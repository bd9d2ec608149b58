#include "registry/registry_text.h"

#include <cstdint>

namespace varnisk::registry {

std::string UnitBytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string StringBytes(std::u16string_view text) {
  std::string bytes = UnitBytes(text);
  bytes.append(2, '\0');
  return bytes;
}

std::u16string BytesToUnits(std::string_view bytes) {
  std::u16string units;
  const size_t count = (bytes.size() + 1) / 2;
  // Written once, not cleared first: UTF-16 script files run to megabytes. The
  // callback's size argument is not used: this standard library passes the capacity.
  units.resize_and_overwrite(count, [&](char16_t* out, size_t) {
    for (size_t i = 0; i < count; ++i) {
      const auto low = static_cast<uint8_t>(bytes[2 * i]);
      const auto high = 2 * i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[2 * i + 1]) : 0;
      out[i] = static_cast<char16_t>(low | high << 8);
    }
    return count;
  });
  return units;
}

}  // namespace varnisk::registry
