#include "ui/message_box_prompt.h"

#include <gtest/gtest.h>

#include <deque>

namespace varnisk::ui {
namespace {

// Answers with lines given in advance and then reports the end of the input; keeps
// everything written.
class ScriptedTerminal : public Terminal {
 public:
  explicit ScriptedTerminal(std::deque<std::string> lines) : lines_(std::move(lines)) {}
  void Write(std::string_view text) override { shown.append(text); }
  std::optional<std::string> ReadLine() override {
    if (lines_.empty()) return std::nullopt;
    std::string line = lines_.front();
    lines_.pop_front();
    return line;
  }
  std::string shown;

 private:
  std::deque<std::string> lines_;
};

TEST(MessageBoxPromptTest, ButtonSetsDefaultsAndEndOfInput) {
  struct Case {
    uint32_t flags;
    const char* prompt;
    Result onEnd;
  } cases[] = {
      {0x00, "OK (o) [o]: ", kButtonOk},
      {0x01, "OK (o), Cancel (c) [o]: ", kButtonCancel},
      {0x02, "Abort (a), Retry (r), Ignore (i) [a]: ", kButtonAbort},
      {0x03, "Yes (y), No (n), Cancel (c) [y]: ", kButtonCancel},
      {0x04, "Yes (y), No (n) [y]: ", kButtonNo},
      {0x05, "Retry (r), Cancel (c) [r]: ", kButtonCancel},
      {0x104, "Yes (y), No (n) [n]: ", kButtonNo},
      {0x203, "Yes (y), No (n), Cancel (c) [c]: ", kButtonCancel},
      {0x304, "Yes (y), No (n) [y]: ", kButtonNo},  // no fourth button: the first
      {0x10024, "Yes (y), No (n) [y]: ", kButtonNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    const std::optional<MessageBoxLayout> layout = LayoutMessageBox(c.flags);
    ASSERT_TRUE(layout);
    EXPECT_EQ(AnswerPrompt(*layout), c.prompt);
    ScriptedTerminal terminal({});
    EXPECT_EQ(AskMessageBox(terminal, u"T", u"M", c.flags), c.onEnd);
  }
  for (uint32_t unknown : {6u, 7u, 0xFu}) {
    SCOPED_TRACE(unknown);
    EXPECT_FALSE(LayoutMessageBox(unknown));
    ScriptedTerminal terminal({"o"});
    EXPECT_EQ(AskMessageBox(terminal, u"T", u"M", unknown), 0u);
    EXPECT_EQ(terminal.shown, "");
  }
}

TEST(MessageBoxPromptTest, WhatTheTerminalShows) {
  struct Case {
    const char* name;
    std::u16string caption;
    std::u16string text;
    uint32_t flags;
    const char* shown;
  } cases[] = {
      {"question", u"Setup", u"Continue?", 0x24,
       "Setup\n[Question] Continue?\nYes (y), No (n) [y]: "},
      {"information", u"Varnisk", u"Hello", 0x40, "Varnisk\n[Information] Hello\nOK (o) [o]: "},
      {"stop and warning", u"", u"x", 0x10, "\n[Stop] x\nOK (o) [o]: "},
      {"warning", u"c", u"x", 0x31, "c\n[Warning] x\nOK (o), Cancel (c) [o]: "},
      {"no icon", u"c", u"x", 0x50, "c\nx\nOK (o) [o]: "},
      {"line breaks", u"c", u"one\r\ntwo\rthree\nfour", 0,
       "c\none\ntwo\nthree\nfour\nOK (o) [o]: "},
      {"control characters cannot drive the terminal", u"\x1b]0;t\x07", u"a\x1b[2J\x9b" u"b\tc",
       0, "?]0;t?\na?[2J?b\tc\nOK (o) [o]: "},
      {"UTF-8", u"标题", u"继续？", 0, "标题\n继续？\nOK (o) [o]: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MessageBoxText(c.caption, c.text, *LayoutMessageBox(c.flags)), c.shown);
  }
}

TEST(MessageBoxPromptTest, AnswersChooseButtons) {
  const MessageBoxLayout yesNoCancel = *LayoutMessageBox(0x103);
  struct Case {
    const char* answer;
    std::optional<Result> button;
  } cases[] = {
      {"y", kButtonYes},        {"Y", kButtonYes},      {"yes", kButtonYes},
      {"  YES \r", kButtonYes}, {"n", kButtonNo},       {"c", kButtonCancel},
      {"cancel", kButtonCancel}, {"", kButtonNo},       {"\t", kButtonNo},
      {"o", std::nullopt},      {"ok", std::nullopt},   {"ye", std::nullopt},
      {"y n", std::nullopt},    {"是", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    EXPECT_EQ(ButtonForAnswer(yesNoCancel, c.answer), c.button);
  }
}

TEST(MessageBoxPromptTest, AsksAgainUntilAnAnswerNamesAButton) {
  ScriptedTerminal terminal({"maybe", "later", "r"});
  EXPECT_EQ(AskMessageBox(terminal, u"Copy", u"Disk full", 0x15), kButtonRetry);
  EXPECT_EQ(terminal.shown,
            "Copy\n[Stop] Disk full\nRetry (r), Cancel (c) [r]: "
            "Retry (r), Cancel (c) [r]: Retry (r), Cancel (c) [r]: ");

  ScriptedTerminal ended({"maybe"});
  EXPECT_EQ(AskMessageBox(ended, u"Copy", u"Disk full", 0x15), kButtonCancel);
  EXPECT_EQ(ended.shown.substr(ended.shown.size() - 1), "\n");
}

}  // namespace
}  // namespace varnisk::ui
