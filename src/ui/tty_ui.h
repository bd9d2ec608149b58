#pragma once
// The `tty` user interface: windows asked on the terminal (standard input and output,
// text in UTF-8). Message boxes work; the form dialog, the help viewer and the main
// window cannot be shown on the terminal yet and fail as a window that cannot be made.

#include "ui/message_box_prompt.h"
#include "ui/ui_mode.h"
#include "ui/user_interface.h"

namespace varnisk::ui {

class TtyUi : public UserInterface {
 public:
  // Asks on inputFd and shows on outputFd; neither is closed here.
  explicit TtyUi(int inputFd = 0, int outputFd = 1) : input_(inputFd), output_(outputFd) {}

  Result ShowMessageBox(std::u16string_view caption, std::u16string_view text,
                        uint32_t flags) override;
  Result ShowForm(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  Result ShowHelp(std::u16string_view, std::u16string_view) override { return kDialogFailed; }
  bool BringMainWindowForward() override { return false; }
  Result ShowMainWindow(std::u16string_view) override { return kDialogFailed; }

 private:
  int input_;
  int output_;
};

// A terminal on two host descriptors. Reads a byte at a time, so that nothing past the
// answer's line is taken from the input (a program started later reads on from there).
class HostTerminal : public Terminal {
 public:
  HostTerminal(int inputFd, int outputFd) : input_(inputFd), output_(outputFd) {}
  void Write(std::string_view text) override;
  // Lines longer than kMaxLine bytes are cut there (the rest of the line is read and
  // dropped).
  std::optional<std::string> ReadLine() override;

  static constexpr size_t kMaxLine = 4096;

 private:
  int input_;
  int output_;
};

// What the run finds on the host: a display, and terminals on standard input and output.
UiSurroundings DetectUiSurroundings();

}  // namespace varnisk::ui
