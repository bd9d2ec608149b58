#pragma once
// The user-interface boundary: the windows that commands open. Each `--ui` mode has a
// backend; in the mode `none` no window can be made and every dialog fails as the
// platform does when it cannot create a window.

#include <string_view>

#include "platform/result.h"

namespace varnisk::ui {

class UserInterface {
 public:
  virtual ~UserInterface() = default;

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
