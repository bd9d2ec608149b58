#include "system/pause.h"

#include "engine/numbers.h"

namespace varnisk::system {

Result WaitCommand(engine::AppState& app, char16_t* argument) {
  app.platform.clock->Sleep(static_cast<uint32_t>(engine::ParseNumber(argument)));
  return 0;
}

}  // namespace varnisk::system
