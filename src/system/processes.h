#pragma once
// KILL: ends the device's processes by name.
//
//   KILL name   name: the beginning of an executable's file name, ASCII letters compared
//               without case ("tmail" and "TMAIL.EXE" both end tmail.exe)
//
// Every matching process ends, not only the first. An empty name is the beginning of
// every name: it ends all the device's processes, this program last (which then ends
// the run with it).

#include "engine/app_state.h"

namespace varnisk::system {

// 0 when at least one process was ended, else 1 (also when the device's processes
// cannot be listed).
Result KillCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
