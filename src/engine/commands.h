#pragma once
// The operations of the commands that the script engine itself carries out: flow
// control, variables and the windows opened from a script line.

#include "engine/dispatcher.h"

namespace varnisk::engine {

Result Batch(Command& command);       // BATC
Result IfExists(Command& command);    // IFEX
Result Else(Command& command);        // ELSE
Result Call(Command& command);        // CALL
Result GoTo(Command& command);        // GOTO
Result Procedure(Command& command);   // PROC
Result EndProcedure(Command& command);  // ENDP
Result Evaluate(Command& command);    // EVAL
Result FormDialog(Command& command);  // DLGX
Result Help(Command& command);        // HELP
Result MainWindow(Command& command);  // VKUI

}  // namespace varnisk::engine
