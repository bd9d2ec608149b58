#pragma once
// LINK: writes a shortcut file in the device's text format for shortcuts.
//
//   LINK shortcut,target[,parameters[,icon]]
//
// The file holds one line in the ANSI code page: the number of UTF-16 units of the
// command, "#", the command (the target, quoted when it has parameters or a blank, and
// the parameters), and "?" with the icon location when one is given.

#include "engine/app_state.h"

namespace varnisk::files {

// 0 when the file was written, kErrorPathNotFound when no target is given, kEFail when
// nothing could be written.
Result WriteShortcut(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::files
