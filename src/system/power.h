#pragma once
// SHUT: restart, reset and power of the device. The first letter, without case, picks
// the action:
//
//   H[code]  the hardware layer's control call with code (written from "0" on, as
//            "H0x0101003C"; 0x01012048 without one), then everything C does
//   C        makes the next start a clean one, then everything R does
//   R        restart through the hardware layer
//   K        a press of the power key
//   P        power off through ExitWindows
//   S        the hardware layer's control call 0x01012000, then the power-off call
//   G        the power-off call
//   other    restart through ExitWindows (also an empty text)

#include "engine/app_state.h"

namespace varnisk::system {

// 0 when the device took the last request of the action, else 1; always 0 for K.
Result ShutCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
