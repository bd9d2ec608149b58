#pragma once
// The `none` user interface: nothing can be shown, so every window fails to open and a
// message box gives 0, as the platform's do when no window can be made.

#include "ui/user_interface.h"

namespace varnisk::ui {

class NoneUi : public UserInterface {
 public:
  Result ShowMessageBox(std::u16string_view, std::u16string_view, uint32_t) override {
    return 0;
  }
  Result ShowForm(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  Result ShowHelp(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  bool BringMainWindowForward() override { return false; }
  Result ShowMainWindow(std::u16string_view) override { return kDialogFailed; }
};

}  // namespace varnisk::ui
