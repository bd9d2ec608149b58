#pragma once
// MSGX: a message box, through the user interface.
//
//   MSGX text[,caption[,flags]]
//
// Without a caption the box is captioned with the program's title; without flags it
// shows the information icon and an OK button (flags 64). The script waits until the
// box is closed.

#include "engine/app_state.h"

namespace varnisk::system {

// The identifier of the button that closed the box (1 OK, 2 Cancel, 3 Abort, 4 Retry,
// 5 Ignore, 6 Yes, 7 No), or 0 when no box can be shown.
Result MessageBoxCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
