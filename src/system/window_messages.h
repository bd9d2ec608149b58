#pragma once
// POST: sends or posts a window message to the program's windows.
//
//   POST [=]window,message[,first[,second]]
//
// "=" sends the message and waits for the answer; without it the message is posted.
// window: a class name, or a text beginning with "$" for every top-level window.
// message: a number. first and second: a marker character and the value after it; the
// marker "$" makes the value the address of the text after it, any other marker makes
// it the number after it. A missing parameter is 0.

#include "engine/app_state.h"

namespace varnisk::system {

// The platform call's value (the receiver's answer when sent, non-zero when posted);
// 0 when no window has the class (nothing is sent); kEInvalidArg without a message field.
Result PostCommand(engine::AppState& app, char16_t* argument);

}  // namespace varnisk::system
