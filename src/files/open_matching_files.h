#pragma once
// The default command: a line without a keyword names files, and every file it matches
// is acted on by its extension.
//
//   [!]path[,parameters]   "!" walks the whole tree below the path's folder

#include "engine/app_state.h"
#include "files/enumeration.h"

namespace varnisk::files {

// Acts on the files that line names; the result is the last file's.
Result OpenMatchingFiles(engine::AppState& app, char16_t* line);

// The default command's visitor: enters folders when asked to and acts on each file by
// its extension.
Result OpenByType(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                  const platform::FindEntry& entry);

}  // namespace varnisk::files
