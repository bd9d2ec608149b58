#include "ui/tty_ui.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace varnisk::ui {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0;
}

}  // namespace

Result TtyUi::ShowMessageBox(std::u16string_view caption, std::u16string_view text,
                             uint32_t flags) {
  HostTerminal terminal(input_, output_);
  return AskMessageBox(terminal, caption, text, flags);
}

void HostTerminal::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(output_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads the terminal any more; the answer decides
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::optional<std::string> HostTerminal::ReadLine() {
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    const ssize_t n = read(input_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the end of the input, or a terminal that went away
    any = true;
    if (c == '\n') return line;
    if (line.size() < kMaxLine) line.push_back(c);
  }
  if (!any) return std::nullopt;
  return line;
}

UiSurroundings DetectUiSurroundings() {
  return UiSurroundings{Set("DISPLAY") || Set("WAYLAND_DISPLAY"),
                        isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1};
}

}  // namespace varnisk::ui
