#include "ui/message_box_prompt.h"

#include "platform/utf.h"

namespace varnisk::ui {
namespace {

constexpr MessageBoxButton kOk{kButtonOk, "OK", 'o'};
constexpr MessageBoxButton kCancel{kButtonCancel, "Cancel", 'c'};
constexpr MessageBoxButton kAbort{kButtonAbort, "Abort", 'a'};
constexpr MessageBoxButton kRetry{kButtonRetry, "Retry", 'r'};
constexpr MessageBoxButton kIgnore{kButtonIgnore, "Ignore", 'i'};
constexpr MessageBoxButton kYes{kButtonYes, "Yes", 'y'};
constexpr MessageBoxButton kNo{kButtonNo, "No", 'n'};

constexpr uint32_t kButtonSetMask = 0x0F;
constexpr uint32_t kIconMask = 0xF0;
constexpr uint32_t kDefaultButtonMask = 0xF00;

std::string_view IconWord(uint32_t flags) {
  switch (flags & kIconMask) {
    case 0x10:
      return "Stop";
    case 0x20:
      return "Question";
    case 0x30:
      return "Warning";
    case 0x40:
      return "Information";
    default:
      return {};
  }
}

// Device text for the terminal: "\r\n" and lone "\r" become "\n"; other control
// characters (C0 but tab and line feed, DEL, C1) become "?".
std::string TerminalText(std::u16string_view text) {
  std::u16string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == u'\r') {
      if (i + 1 >= text.size() || text[i + 1] != u'\n') clean.push_back(u'\n');
    } else if ((unit < 0x20 && unit != u'\n' && unit != u'\t') || unit == 0x7F ||
               (unit >= 0x80 && unit < 0xA0)) {
      clean.push_back(u'?');
    } else {
      clean.push_back(unit);
    }
  }
  return platform::Utf16ToUtf8(clean);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<MessageBoxLayout> LayoutMessageBox(uint32_t flags) {
  MessageBoxLayout layout;
  switch (flags & kButtonSetMask) {
    case 0:
      layout.buttons = {kOk};
      layout.onEndOfInput = kButtonOk;
      break;
    case 1:
      layout.buttons = {kOk, kCancel};
      layout.onEndOfInput = kButtonCancel;
      break;
    case 2:
      layout.buttons = {kAbort, kRetry, kIgnore};
      layout.onEndOfInput = kButtonAbort;
      break;
    case 3:
      layout.buttons = {kYes, kNo, kCancel};
      layout.onEndOfInput = kButtonCancel;
      break;
    case 4:
      layout.buttons = {kYes, kNo};
      layout.onEndOfInput = kButtonNo;
      break;
    case 5:
      layout.buttons = {kRetry, kCancel};
      layout.onEndOfInput = kButtonCancel;
      break;
    default:
      return std::nullopt;
  }
  const size_t wanted = (flags & kDefaultButtonMask) >> 8;
  layout.defaultButton = wanted < layout.buttons.size() ? wanted : 0;
  layout.icon = IconWord(flags);
  return layout;
}

std::string AnswerPrompt(const MessageBoxLayout& layout) {
  std::string line;
  for (const MessageBoxButton& button : layout.buttons) {
    if (!line.empty()) line += ", ";
    line += std::string(button.label) + " (" + button.key + ")";
  }
  return line + " [" + layout.buttons[layout.defaultButton].key + "]: ";
}

std::string MessageBoxText(std::u16string_view caption, std::u16string_view text,
                           const MessageBoxLayout& layout) {
  std::string shown = TerminalText(caption) + "\n";
  if (!layout.icon.empty()) shown += "[" + std::string(layout.icon) + "] ";
  shown += TerminalText(text) + "\n";
  return shown + AnswerPrompt(layout);
}

std::optional<Result> ButtonForAnswer(const MessageBoxLayout& layout, std::string_view answer) {
  answer = Trim(answer);
  if (answer.empty()) return layout.buttons[layout.defaultButton].id;
  for (const MessageBoxButton& button : layout.buttons) {
    if ((answer.size() == 1 && LowerAscii(answer[0]) == button.key) ||
        EqualsNoCase(answer, button.label)) {
      return button.id;
    }
  }
  return std::nullopt;
}

Result AskMessageBox(Terminal& terminal, std::u16string_view caption,
                     std::u16string_view text, uint32_t flags) {
  const std::optional<MessageBoxLayout> layout = LayoutMessageBox(flags);
  if (!layout) return 0;
  terminal.Write(MessageBoxText(caption, text, *layout));
  for (;;) {
    const std::optional<std::string> answer = terminal.ReadLine();
    if (!answer) {
      // The prompt line is left unfinished; the terminal's next output starts afresh.
      terminal.Write("\n");
      return layout->onEndOfInput;
    }
    if (const std::optional<Result> button = ButtonForAnswer(*layout, *answer)) return *button;
    terminal.Write(AnswerPrompt(*layout));
  }
}

}  // namespace varnisk::ui
