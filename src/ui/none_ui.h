#pragma once
// The `none` user interface: nothing can be shown, so every window fails to open.

#include "ui/user_interface.h"

namespace varnisk::ui {

class NoneUi : public UserInterface {
 public:
  Result ShowForm(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  Result ShowHelp(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  bool BringMainWindowForward() override { return false; }
  Result ShowMainWindow(std::u16string_view) override { return kDialogFailed; }
};

}  // namespace varnisk::ui
