#pragma once
// Registry data as bytes: the device stores text as UTF-16LE units, strings with their
// terminating NUL.

#include <string>
#include <string_view>

namespace varnisk::registry {

// The units as little-endian bytes.
std::string UnitBytes(std::u16string_view units);

// A REG_SZ value's bytes: the text and its NUL.
std::string StringBytes(std::u16string_view text);

// Little-endian bytes as units; an odd last byte is the low byte of a last unit.
std::u16string BytesToUnits(std::string_view bytes);

}  // namespace varnisk::registry
