#pragma once
// The default command: a line without a keyword names files, and every file it matches
// is acted on by its extension.

#include "engine/app_state.h"

namespace varnisk::files {

// Acts on the files that line names; its result is the line's result.
Result OpenMatchingFiles(engine::AppState& app, char16_t* line);

}  // namespace varnisk::files
