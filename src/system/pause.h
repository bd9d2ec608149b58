#pragma once
// WAIT: a pause of the script.
//
//   WAIT milliseconds
//
// The program does nothing else meanwhile, its windows included.

#include "engine/app_state.h"

namespace varnisk::system {

// Always 0.
Result WaitCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
