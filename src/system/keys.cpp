#include "system/keys.h"

#include "engine/numbers.h"
#include "system/arguments.h"

namespace varnisk::system {

Result SendKeysCommand(engine::AppState& app, char16_t* argument) {
  platform::Keyboard& keyboard = *app.platform.keyboard;
  int32_t number = 0;
  for (char16_t* key = argument; key != nullptr;) {
    char16_t* next = CutAtArgSep(key);
    number = engine::ParseNumber(key);
    const auto virtualKey = static_cast<uint8_t>(number & 0xFF);
    const size_t length = engine::TextLength(key);
    const char16_t last = length == 0 ? 0 : key[length - 1];
    if (last != u'^') keyboard.KeyEvent(virtualKey, 0);
    if (last != u'_') keyboard.KeyEvent(virtualKey, platform::kKeyEventKeyUp);
    key = next;
  }
  return number != 0 ? 0 : 1;
}

}  // namespace varnisk::system
