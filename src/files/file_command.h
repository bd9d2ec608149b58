#pragma once
// FILE: the script's one command for file work.
//
//   FILE path[;path...]        delete files and folders (with their contents)
//   FILE [!]source>target      copy ("=>" too); "!" copies the whole tree
//   FILE path<[=]text          write text in the ANSI code page ("=" appends)
//   FILE path{[=]text          write text as UTF-16
//   FILE path\                 create the folders of path
//
// ";" and "->" before the operator cut the path (and end a delete list).

#include "engine/app_state.h"

namespace varnisk::files {

// Runs the argument text (written into: operators become terminators).
Result FileCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::files
