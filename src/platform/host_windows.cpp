#include "platform/host_windows.h"

#include <cstdio>

namespace varnisk::platform {

WindowHandle HostWindows::FindWindow(std::u16string_view) { return 0; }

uint64_t HostWindows::SendMessage(WindowHandle, uint32_t, const MessageParameter&,
                                  const MessageParameter&) {
  return 0;
}

uint64_t HostWindows::PostMessage(WindowHandle window, uint32_t, const MessageParameter&,
                                  const MessageParameter&) {
  return window == kBroadcastWindow ? 1 : 0;
}

bool HostWindows::DeliverKey(uint8_t, uint32_t) { return false; }

void HostKeyboard::KeyEvent(uint8_t virtualKey, uint32_t flags) {
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", virtualKey);
  std::string details = (flags & kKeyEventKeyUp) != 0 ? "up " : "down ";
  details += code;
  if ((flags & kKeyEventSilent) != 0) details += " silent";
  // The device reports nothing back from a key event, so neither a lost journal line
  // nor a missing window changes anything for the caller.
  journal_.Record("key", details);
  windows_.DeliverKey(virtualKey, flags);
}

}  // namespace varnisk::platform
