#pragma once
// RARX and the default command's ".rar" row: extracts a RAR archive by driving the UnRAR
// library, which is loaded for the one extraction and released afterwards.
//
//   RARX archive,destination

#include <string_view>

#include "engine/app_state.h"

namespace varnisk::files {

// Extracts every entry of the archive below the destination folder (created when
// missing; an empty destination is the root) under its stored path. The result is the
// library's code that ended the extraction: its end-of-archive code (10) after the last
// entry, another of its codes for the entry where it stopped. kErrorDllNotFound when the
// library cannot be loaded, kENoInterface when it lacks an entry point.
Result ExtractRar(engine::AppState& app, std::u16string_view archive,
                  std::u16string_view destination);

}  // namespace varnisk::files
