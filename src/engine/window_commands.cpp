// DLGX, HELP and VKUI: the windows a script line opens, through the user interface.

#include <string_view>

#include "engine/commands.h"
#include "engine/text.h"

namespace varnisk::engine {
namespace {

// Captions of the program's generated windows hold at most 79 units.
constexpr size_t kMaxCaption = 79;

std::u16string_view Caption(std::u16string_view text) { return text.substr(0, kMaxCaption); }

}  // namespace

// DLGX caption,form — or DLGX form, captioned with the program title, when the text
// begins like a control description.
Result FormDialog(Command& command) {
  char16_t* args = command.args;
  std::u16string_view caption = command.app.programTitle;
  std::u16string_view description = TextView(args);
  if (std::u16string_view(u"$<@[{").find(args[0]) == std::u16string_view::npos) {
    char16_t* form = SplitAtArgSep(args);
    caption = TextView(args);
    description = TextView(form);
  }
  return command.app.ui->ShowForm(Caption(caption), description);
}

Result Help(Command& command) {
  return command.app.ui->ShowHelp(Caption(command.app.programTitle), TextView(command.args));
}

// VKUI: brings an open main window forward, or opens one; commands typed into it run
// with the base path of the script that opened it.
Result MainWindow(Command& command) {
  AppState& app = command.app;
  if (app.ui->BringMainWindowForward()) return 1;
  app.uiBasePath = command.context.basePath;
  return app.ui->ShowMainWindow(TextView(command.args));
}

}  // namespace varnisk::engine
