#pragma once
// The registry-script importer: applies the lines of a registry script (the body of a
// .reg file, or a block of registry lines inside a script) to the device registry, and
// the registry path syntax that every command naming a key uses.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/app_state.h"

namespace varnisk::registry {

// Applies text in one batch: the registry gets all of it or, when the program dies on
// the way, none. With stop (script mode) the importer ends at the first line that is no
// registry line and sets *stop to where that line begins (or to the end of the text);
// without it (file mode) every line is applied and lines that make no sense are passed
// over. 0, or kErrorNotRegistryFile when a line made no sense.
Result ImportRegText(engine::AppState& app, const char16_t* text, const char16_t** stop);

// The root whose prefix ("HKLM\", "HKEY_LOCAL_MACHINE\" ...) text begins with, exactly
// as written (upper case, with its backslash); *position moves past the prefix. nullopt
// (and *position unchanged) for any other text.
std::optional<platform::RootKey> MatchRootKey(const char16_t** position);

// How many leading units first shares with second, compared exactly; stops at the end
// of first.
size_t PrefixLength(std::u16string_view first, const char16_t* second);

// The bytes of a byte list: pieces cut at ",", each giving one byte from its first two
// characters ("1" gives 0x10, anything not hexadecimal counts as 0); a "," at the very
// end adds no piece.
std::string ParseByteList(std::u16string_view text);

}  // namespace varnisk::registry
