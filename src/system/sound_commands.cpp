#include "system/sound_commands.h"

#include "engine/numbers.h"
#include "engine/text.h"

namespace varnisk::system {
namespace {

// The flag a prefix character adds, or 0 for a character that is no prefix.
uint32_t PrefixFlag(char16_t c) {
  switch (c) {
    case u'!':
      return platform::kSoundAsync;
    case u'$':
      return platform::kSoundAlias;
    case u'*':
      return platform::kSoundLoop;
    default:
      return 0;
  }
}

}  // namespace

Result PlaySoundCommand(engine::AppState& app, char16_t* argument) {
  uint32_t flags = platform::kSoundFileName;
  const char16_t* name = argument;
  while (const uint32_t flag = PrefixFlag(*name)) {
    flags |= flag;
    ++name;
  }
  return app.platform.sound->PlaySound(engine::TextView(name), flags) ? 0 : 1;
}

Result MessageBeepCommand(engine::AppState& app, char16_t* argument) {
  const auto type = static_cast<uint32_t>(engine::ParseNumber(argument));
  return app.platform.sound->MessageBeep(type) ? 0 : 1;
}

}  // namespace varnisk::system
