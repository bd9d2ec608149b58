#include "engine/numbers.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::engine {
namespace {

TEST(ParseNumberTest, ReadsTheNumberAtTheStart) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"42", 42},          {"10 apples", 10},     {"0x10", 16},
      {"0X1f", 31},        {"0xFFFFFFFF", -1},    {"0x", 0},
      {"", 0},             {" 5", 0},             {"-5", 0},
      {"+5", 0},           {"007", 7},            {"4294967297", 1},
      {"0x1FFFFFFFF", -1}, {"12abc", 12},         {"0xag", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseNumber(platform::Utf8ToUtf16(c.text).c_str()), c.expected);
  }
}

TEST(EvaluateConditionTest, OperatorsOnNumbersAndTexts) {
  struct Case {
    const char* condition;
    int holds;
  } cases[] = {
      {"5<=10", 1},    {"10<5", 0},      {"0x10==16", 1},  {"3!=3", 0},
      {"3&1", 1},      {"4&1", 0},       {"0||0", 0},      {"2&&0", 0},
      {"2&&3", 1},     {"0|4", 1},       {"0|0", 0},       {"5>4", 1},
      {"5>=6", 0},     {"1<2<0", 1},     {"10 apples==10", 1},
      {"abc=ABC", 1},  {"abc!ABC", 0},   {"abc!abd", 1},   {"a = a", 0},
      {"=", 1},        {"x=", 0},        {"x!", 1},
      {"!5<=10", 0},   {"!abc=abd", 1},  {"\xC3\xA9=\xC3\x89", 1},
      {"\\My Documents\\a&b.txt", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    FakeApp fake;
    std::u16string text = platform::Utf8ToUtf16(c.condition);
    EXPECT_EQ(EvaluateCondition(fake.app, text.data()), c.holds);
  }
}

TEST(EvaluateConditionTest, TestsWhetherAFileOrFolderExists) {
  FakeApp fake;
  fake.device.files.CreateFolder(u"\\Windows");
  fake.device.files.WriteFile(u"\\Windows\\a.txt", "x");
  struct Case {
    std::u16string condition;
    int holds;
  } cases[] = {
      {u"\\Windows", 1}, {u"!\\Windows", 0}, {u"\\WINDOWS\\A.TXT", 1},
      {u"\\Windows\\b.txt", 0}, {u"!\\nowhere", 1},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.condition));
    EXPECT_EQ(EvaluateCondition(fake.app, c.condition.data()), c.holds);
  }
}

}  // namespace
}  // namespace varnisk::engine
