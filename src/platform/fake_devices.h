#pragma once
// Recording fakes of the device's power, sound, keyboard, display and windows for the
// layers' unit tests: each writes what it was asked, in the device's words, into its
// calls, and answers what the test chose.

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace varnisk::platform {

// Records "ioctl 0x0101003C", "clean-boot", "exit-windows 0x00000002", "power-off".
class FakePower : public DevicePower {
 public:
  bool KernelIoControl(uint32_t code) override;
  bool SetCleanBoot() override;
  bool ExitWindows(uint32_t flags) override;
  bool PowerOff() override;

  std::vector<std::string> calls;
  bool accept = true;
};

// Records "play NAME 0x00020001" and "beep 0x00000040"; plays the names in playable.
class FakeSound : public Sound {
 public:
  bool PlaySound(std::u16string_view name, uint32_t flags) override;
  bool MessageBeep(uint32_t type) override;

  std::vector<std::string> calls;
  std::vector<std::u16string> playable;
};

// Records "down 0x41", "up 0x41", with " silent" for kKeyEventSilent.
class FakeKeyboard : public Keyboard {
 public:
  void KeyEvent(uint8_t virtualKey, uint32_t flags) override;
  std::vector<std::string> calls;
};

// A display whose orientation is a field; records "get" and "set N".
class FakeDisplay : public Display {
 public:
  Result GetOrientation(uint32_t* orientation) override;
  Result SetOrientation(uint32_t orientation) override;

  std::vector<std::string> calls;
  uint32_t orientation = kOrientation0;
  Result getResult = kDisplayChangeSuccessful;
};

// Windows by class name (windows), each answering SendMessage with answer. Records
// "send WINDOW 0xMESSAGE FIRST SECOND" and "post ...", a text parameter written as
// "$TEXT".
class FakeWindows : public WindowManager {
 public:
  WindowHandle FindWindow(std::u16string_view className) override;
  uint64_t SendMessage(WindowHandle window, uint32_t message, const MessageParameter& first,
                       const MessageParameter& second) override;
  uint64_t PostMessage(WindowHandle window, uint32_t message, const MessageParameter& first,
                       const MessageParameter& second) override;

  std::vector<std::string> calls;
  std::map<std::u16string, WindowHandle> windows;
  uint64_t answer = 0;
};

}  // namespace varnisk::platform
