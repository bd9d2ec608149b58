// EVAL, the command of the ten script variables.

#include "engine/commands.h"
#include "engine/numbers.h"
#include "engine/text.h"

namespace varnisk::engine {

//   EVAL n=text   stores text in slot n                      -> 0 (122 when cut)
//   EVAL n        reads slot n as a number                   -> the number
//   EVAL x[=]num  reads num                                  -> the number
//   EVAL ...      empties slot 0                             -> 0
Result Evaluate(Command& command) {
  const char16_t* args = command.args;
  auto& slots = command.app.variables;
  if (args[0] >= u'0' && args[0] <= u'9') {
    VariableSlot& slot = slots[args[0] - u'0'];
    if (args[1] != u'=') return static_cast<Result>(ParseNumber(slot.data()));
    const char16_t* text = args + 2;
    size_t n = 0;
    while (text[n] != 0 && n < kMaxPath - 1) {
      slot[n] = text[n];
      ++n;
    }
    slot[n] = 0;
    // A text that does not fit keeps its first 259 units, and the script can tell.
    return text[n] == 0 ? kSuccess : kErrorInsufficientBuffer;
  }
  if (args[0] == u'x' || args[0] == u'X') {
    const char16_t* number = args + 1;
    if (*number == u'=') ++number;
    return static_cast<Result>(ParseNumber(number));
  }
  slots[0].fill(0);
  return kSuccess;
}

}  // namespace varnisk::engine
