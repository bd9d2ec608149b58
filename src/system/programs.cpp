#include "system/programs.h"

#include <algorithm>
#include <string>

#include "system/arguments.h"

namespace varnisk::system {

Result ExecCommand(engine::AppState& app, char16_t* argument) {
  char16_t* file = argument;
  const bool wait = *file != u'!';
  if (!wait) ++file;
  std::u16string parameters;
  if (const char16_t* rest = CutAtArgSep(file)) {
    // The line's commas became separators when it was assembled; a program must get
    // back the commas its parameters were written with.
    parameters = engine::TextView(rest);
    std::replace(parameters.begin(), parameters.end(), engine::kArgSep, u',');
  }
  return app.platform.shell->Open(engine::TextView(file), parameters, wait);
}

}  // namespace varnisk::system
