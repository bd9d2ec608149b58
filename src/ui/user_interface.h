#pragma once
// The user-interface boundary: the windows that commands open. Each `--ui` mode has a
// backend; in the mode `none` no window can be made and every dialog fails as the
// platform does when it cannot create a window.

#include <cstdint>
#include <string_view>

#include "platform/result.h"

namespace varnisk::ui {

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal message box: caption, text, and the buttons, icon and default button that
  // flags name as the platform's message box reads them (MB_OK 0 to MB_RETRYCANCEL 5;
  // icons 0x10 stop, 0x20 question, 0x30 exclamation, 0x40 information; default button
  // 0x000 to 0x300). Returns the identifier of the button that closed the box (1 OK,
  // 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No), or 0 when it cannot be shown.
  virtual Result ShowMessageBox(std::u16string_view caption, std::u16string_view text,
                                uint32_t flags) = 0;

  // The form dialog of DLGX: a window captioned caption, laid out from description.
  // Returns the result with which the form closes, or kDialogFailed.
  virtual Result ShowForm(std::u16string_view caption, std::u16string_view description) = 0;

  // The help window of HELP, showing topic. Returns its result, or kDialogFailed.
  virtual Result ShowHelp(std::u16string_view caption, std::u16string_view topic) = 0;

  // Brings an open main window forward (this program's or another instance's on the same
  // device). False when there is none.
  virtual bool BringMainWindowForward() = 0;

  // Opens the main window with initialCommand in its command box and returns when it
  // closes, with its result, or kDialogFailed when it cannot be made.
  virtual Result ShowMainWindow(std::u16string_view initialCommand) = 0;
};

}  // namespace varnisk::ui
