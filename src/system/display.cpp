#include "system/display.h"

#include "engine/numbers.h"

namespace varnisk::system {

Result DisplayCommand(engine::AppState& app, char16_t* argument) {
  platform::Display& display = *app.platform.display;
  uint32_t current = platform::kOrientation0;
  if (const Result read = display.GetOrientation(&current);
      read != platform::kDisplayChangeSuccessful) {
    return read;
  }
  uint32_t wanted = static_cast<uint32_t>(engine::ParseNumber(argument));
  if (argument[0] == 0) {
    wanted = current == platform::kOrientation0 ? platform::kOrientation90
                                                : platform::kOrientation0;
  }
  return display.SetOrientation(wanted);
}

}  // namespace varnisk::system
