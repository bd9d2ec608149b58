#pragma once
// SEND: key strokes, as if the user typed them.
//
//   SEND key[,key...]   key: a virtual-key number (low 8 bits), pressed and released;
//                       ending in "_" only pressed (held), ending in "^" only released
//
// SEND 0x11_,0x43,0x11^ holds Control, strikes C and lets go of Control.

#include "engine/app_state.h"

namespace varnisk::system {

// 0, or 1 when the last key's number is 0 (an empty text is key 0).
Result SendKeysCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
