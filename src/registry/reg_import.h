#pragma once
// The registry-script importer: applies the lines of a registry script (the body of a
// .reg file, or a block of registry lines inside a script) to the device registry.

#include <cstddef>
#include <string_view>

#include "engine/app_state.h"

namespace varnisk::registry {

// Applies text. With stop (script mode) the importer ends at the first line that is no
// registry line and sets *stop to where the script goes on; without it (file mode) every
// line is applied. 0, or kErrorNotRegistryFile when a line made no sense.
Result ImportRegText(engine::AppState& app, const char16_t* text, const char16_t** stop);

// How many leading units first shares with second, compared exactly; stops at the end
// of first.
size_t PrefixLength(std::u16string_view first, const char16_t* second);

}  // namespace varnisk::registry
