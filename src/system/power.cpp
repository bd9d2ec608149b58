#include "system/power.h"

#include "engine/numbers.h"

namespace varnisk::system {
namespace {

// Control codes that the device maker defines for its hardware layer.
constexpr uint32_t kMakerResetCode = 0x01012048;
constexpr uint32_t kMakerPowerCode = 0x01012000;
// The power key.
constexpr uint8_t kVirtualKeyOff = 0xDF;

Result FromCall(bool accepted) { return accepted ? 0 : 1; }

}  // namespace

Result ShutCommand(engine::AppState& app, char16_t* argument) {
  platform::DevicePower& power = *app.platform.power;
  char16_t letter = argument[0];
  if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - 32);
  switch (letter) {
    case u'H':
      power.KernelIoControl(argument[1] == u'0'
                                ? static_cast<uint32_t>(engine::ParseNumber(argument + 1))
                                : kMakerResetCode);
      [[fallthrough]];
    case u'C':
      power.SetCleanBoot();
      [[fallthrough]];
    case u'R':
      return FromCall(power.KernelIoControl(platform::kIoctlHalReboot));
    case u'K': {
      platform::Keyboard& keyboard = *app.platform.keyboard;
      keyboard.KeyEvent(kVirtualKeyOff, platform::kKeyEventSilent);
      keyboard.KeyEvent(kVirtualKeyOff, platform::kKeyEventKeyUp | platform::kKeyEventSilent);
      return 0;
    }
    case u'P':
      return FromCall(power.ExitWindows(platform::kExitWindowsPowerOff));
    case u'S':
      power.KernelIoControl(kMakerPowerCode);
      return FromCall(power.PowerOff());
    case u'G':
      return FromCall(power.PowerOff());
    default:
      return FromCall(power.ExitWindows(platform::kExitWindowsReboot));
  }
}

}  // namespace varnisk::system
