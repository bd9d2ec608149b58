#pragma once
// A message box asked on a terminal, apart from the terminal itself: what the box shows,
// which answer chooses which button, and which button closes it when the input ends.
//
// What the terminal shows for MSGX Continue?,Setup,36:
//
//   Setup
//   [Question] Continue?
//   Yes (y), No (n) [y]:
//
// An answer is a button's letter or its label, without case; an empty answer chooses the
// default button. Any other answer is asked again. When the input ends the box closes as
// its least consequential button would close it: Cancel where there is one, else No,
// Abort or OK.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace varnisk::ui {

// Button identifiers of the platform's message box.
constexpr Result kButtonOk = 1;
constexpr Result kButtonCancel = 2;
constexpr Result kButtonAbort = 3;
constexpr Result kButtonRetry = 4;
constexpr Result kButtonIgnore = 5;
constexpr Result kButtonYes = 6;
constexpr Result kButtonNo = 7;

struct MessageBoxButton {
  Result id;
  std::string_view label;
  char key;  // lower case
};

struct MessageBoxLayout {
  std::vector<MessageBoxButton> buttons;  // in the order shown
  size_t defaultButton = 0;               // index into buttons
  std::string_view icon;                  // empty for none
  Result onEndOfInput = kButtonOk;
};

// The buttons, icon and default button that flags name; nullopt for a set of buttons the
// device's message box does not have (the box cannot be shown).
std::optional<MessageBoxLayout> LayoutMessageBox(uint32_t flags);

// The box as the terminal shows it, in UTF-8: the caption, the icon and the text, and
// the line that asks for the answer (without line break after it). Line breaks of the
// text become "\n"; other control characters are shown as "?", so that a script's text
// cannot drive the terminal.
std::string MessageBoxText(std::u16string_view caption, std::u16string_view text,
                           const MessageBoxLayout& layout);

// The line that asks for the answer, as MessageBoxText ends.
std::string AnswerPrompt(const MessageBoxLayout& layout);

// The button an answer line (UTF-8, without its line break) chooses; nullopt when it
// names none.
std::optional<Result> ButtonForAnswer(const MessageBoxLayout& layout, std::string_view answer);

// A terminal as a message box uses it: text out, lines in.
class Terminal {
 public:
  virtual ~Terminal() = default;
  virtual void Write(std::string_view text) = 0;
  // The next line without its line break; nullopt at the end of the input.
  virtual std::optional<std::string> ReadLine() = 0;
};

// Shows the box and asks until an answer chooses a button; returns its identifier, or 0
// when flags name no box that can be shown.
Result AskMessageBox(Terminal& terminal, std::u16string_view caption,
                     std::u16string_view text, uint32_t flags);

}  // namespace varnisk::ui
