#pragma once
// DISP: turns the screen.
//
//   DISP [orientation]   0, 1 (90 degrees), 2 (180) or 4 (270); without one the screen
//                        toggles: to 1 from 0, to 0 from any other
//
// So DISP twice brings a screen at 0 back to 0.

#include "engine/app_state.h"

namespace varnisk::system {

// The display-change code: 0 when the screen turned, -2 for a value that is no
// orientation, another negative code when the display cannot be changed.
Result DisplayCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
