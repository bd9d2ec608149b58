#pragma once
// The program's windows on the host, and the keyboard that types into them. The window
// backends register the windows they open here; this build has none yet, so no class is
// found, a broadcast reaches nobody and key events only go into the device journal.

#include "platform/host_journal.h"
#include "platform/platform.h"

namespace varnisk::platform {

class HostWindows : public WindowManager {
 public:
  WindowHandle FindWindow(std::u16string_view className) override;
  // A broadcast gets no answer (0); a window that is not open neither.
  uint64_t SendMessage(WindowHandle window, uint32_t message, const MessageParameter& first,
                       const MessageParameter& second) override;
  // A broadcast is queued for every window there is (1); a window that is not open
  // gets nothing (0).
  uint64_t PostMessage(WindowHandle window, uint32_t message, const MessageParameter& first,
                       const MessageParameter& second) override;

  // Hands a key event to the program's focused window; false when none has the focus.
  bool DeliverKey(uint8_t virtualKey, uint32_t flags);
};

// Key events go into the journal ("key down 0x41", "key up 0x41", " silent" added for
// kKeyEventSilent) and to the focused window.
class HostKeyboard : public Keyboard {
 public:
  HostKeyboard(HostJournal& journal, HostWindows& windows)
      : journal_(journal), windows_(windows) {}
  void KeyEvent(uint8_t virtualKey, uint32_t flags) override;

 private:
  HostJournal& journal_;
  HostWindows& windows_;
};

}  // namespace varnisk::platform
