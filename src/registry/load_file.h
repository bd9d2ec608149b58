#pragma once
// LoadFile, the LOAD command: reads a text file and hands it, by its content, to the
// configuration manager (provisioning XML), the registry-script importer (a registry
// header) or the script runner.

#include <string_view>

#include "engine/app_state.h"

namespace varnisk::registry {

// Runs the file at path (a device path, taken as it stands). kErrorOpenFailed when it
// cannot be read, else the result of the consumer chosen.
Result LoadFile(engine::AppState& app, std::u16string_view path);

// The same on a text already loaded; basePath is the script's base path.
Result RunLoadedText(engine::AppState& app, const std::u16string& text,
                     const char16_t* basePath);

}  // namespace varnisk::registry
