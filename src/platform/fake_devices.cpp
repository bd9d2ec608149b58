#include "platform/fake_devices.h"

#include <algorithm>
#include <cstdio>

#include "platform/utf.h"

namespace varnisk::platform {
namespace {

std::string Hex(uint32_t value, int digits = 8) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string Parameter(const MessageParameter& parameter) {
  return parameter.isText ? "$" + Utf16ToUtf8(parameter.text) : std::to_string(parameter.value);
}

std::string MessageCall(const char* verb, WindowHandle window, uint32_t message,
                        const MessageParameter& first, const MessageParameter& second) {
  return std::string(verb) + " " + std::to_string(window) + " " + Hex(message, 4) + " " +
         Parameter(first) + " " + Parameter(second);
}

}  // namespace

bool FakePower::KernelIoControl(uint32_t code) {
  calls.push_back("ioctl " + Hex(code));
  return accept;
}

bool FakePower::SetCleanBoot() {
  calls.push_back("clean-boot");
  return accept;
}

bool FakePower::ExitWindows(uint32_t flags) {
  calls.push_back("exit-windows " + Hex(flags));
  return accept;
}

bool FakePower::PowerOff() {
  calls.push_back("power-off");
  return accept;
}

bool FakeSound::PlaySound(std::u16string_view name, uint32_t flags) {
  calls.push_back("play " + Utf16ToUtf8(name) + " " + Hex(flags));
  return name.empty() || std::find(playable.begin(), playable.end(), name) != playable.end();
}

bool FakeSound::MessageBeep(uint32_t type) {
  calls.push_back("beep " + Hex(type));
  return true;
}

void FakeKeyboard::KeyEvent(uint8_t virtualKey, uint32_t flags) {
  std::string call = (flags & kKeyEventKeyUp) != 0 ? "up " : "down ";
  call += Hex(virtualKey, 2);
  if ((flags & kKeyEventSilent) != 0) call += " silent";
  calls.push_back(std::move(call));
}

Result FakeDisplay::GetOrientation(uint32_t* value) {
  calls.push_back("get");
  if (getResult == kDisplayChangeSuccessful) *value = orientation;
  return getResult;
}

Result FakeDisplay::SetOrientation(uint32_t value) {
  calls.push_back("set " + std::to_string(value));
  if (value != kOrientation0 && value != kOrientation90 && value != kOrientation180 &&
      value != kOrientation270) {
    return kDisplayChangeBadMode;
  }
  orientation = value;
  return kDisplayChangeSuccessful;
}

WindowHandle FakeWindows::FindWindow(std::u16string_view className) {
  const auto found = windows.find(std::u16string(className));
  return found == windows.end() ? 0 : found->second;
}

uint64_t FakeWindows::SendMessage(WindowHandle window, uint32_t message,
                                  const MessageParameter& first,
                                  const MessageParameter& second) {
  calls.push_back(MessageCall("send", window, message, first, second));
  return answer;
}

uint64_t FakeWindows::PostMessage(WindowHandle window, uint32_t message,
                                  const MessageParameter& first,
                                  const MessageParameter& second) {
  calls.push_back(MessageCall("post", window, message, first, second));
  return 1;
}

}  // namespace varnisk::platform
