#pragma once
// EXEC: starts a program or opens a document through the device shell.
//
//   EXEC [!]file[,parameters]   "!": do not wait for the program to end
//
// Commas after the first one belong to the parameters and reach the program as commas.

#include "engine/app_state.h"

namespace varnisk::system {

// 0 when the program started (and, without "!", ended), or the shell's error code; the
// program's own exit code is not looked at.
Result ExecCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
