#pragma once
// PLAY and BEEP: sounds of the device.
//
//   PLAY [prefixes]name   prefixes, in any order and repeated: "!" return at once,
//                         "$" name is a system sound's name, "*" repeat until stopped;
//                         an empty name stops the sound that plays on
//   BEEP type             the system sound of a message-box type (0 the default sound)

#include "engine/app_state.h"

namespace varnisk::system {

// 0 when the sound played (or stopped), 1 when it could not be played.
Result PlaySoundCommand(engine::AppState& app, char16_t* argument);

// 0 when the system sound played, 1 when it did not.
Result MessageBeepCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
