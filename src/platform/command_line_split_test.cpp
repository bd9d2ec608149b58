#include "platform/command_line_split.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// The arguments as "[a][b c]", so that a case reads as one comparison.
std::string Bracketed(const std::vector<std::u16string>& arguments) {
  std::string out;
  for (const std::u16string& argument : arguments) out += "[" + Utf16ToUtf8(argument) + "]";
  return out;
}

TEST(SplitCommandLineTest, FollowsThePlatformRules) {
  struct Case {
    const char* label;
    std::u16string_view line;
    const char* arguments;
  };
  const Case cases[] = {
      {"empty line", u"", ""},
      {"blanks only", u" \t ", ""},
      {"blanks and tabs separate", u"a b\tc", "[a][b][c]"},
      {"runs of blanks and outer blanks", u"  a   b  ", "[a][b]"},
      {"quotes group blanks", u"\"a b\" c", "[a b][c]"},
      {"quotes inside a word", u"x\"a b\"y", "[xa by]"},
      {"unclosed quote runs to the end", u"\"a b", "[a b]"},
      {"empty quotes are an argument", u"\"\" x \"\"", "[][x][]"},
      {"adjacent quote pairs toggle twice", u"a\"\"b", "[ab]"},
      {"one backslash escapes a quote", u"a\\\"b", "[a\"b]"},
      {"two backslashes then a toggling quote", u"a\\\\\"b c\"", "[a\\b c]"},
      {"three backslashes: one and a literal quote", u"a\\\\\\\"b", "[a\\\"b]"},
      {"four backslashes: two and a toggle", u"\"a\\\\\\\\\" b", "[a\\\\][b]"},
      {"escaped quote inside quotes", u"\"say \\\"hi\\\"\"", "[say \"hi\"]"},
      {"backslashes not before a quote are literal", u"\\Windows\\a.txt \\\\x", "[\\Windows\\a.txt][\\\\x]"},
      {"backslash at the end", u"a\\", "[a\\]"},
      {"device path in quotes", u"\"\\My Documents\\a b.vks\" /s", "[\\My Documents\\a b.vks][/s]"},
      {"other text passes unchanged", u"Grüße 世界,x", "[Grüße][世界,x]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Bracketed(SplitCommandLine(c.line)), c.arguments);
  }
}

TEST(SplitProgramNameTest, ReadsTheProgramAsAPath) {
  struct Case {
    const char* label;
    std::u16string_view line;
    const char* program;
    const char* parameters;
  };
  const Case cases[] = {
      {"quoted program", u"\"\\Windows\\Varnisk.exe\" %1", "\\Windows\\Varnisk.exe", "%1"},
      {"quoted program with blanks", u"\"\\Program Files\\v.sh\"  -a \"b c\"",
       "\\Program Files\\v.sh", "-a \"b c\""},
      {"bare program", u"\\Windows\\pword.exe -opendoc %1", "\\Windows\\pword.exe",
       "-opendoc %1"},
      {"leading blanks", u"  x.exe", "x.exe", ""},
      {"backslash before the closing quote stays", u"\"\\Temp\\\" y", "\\Temp\\", "y"},
      {"quote glued to parameters", u"\"a.exe\"b", "a.exe", "b"},
      {"unclosed quote", u"\"\\a b.exe", "\\a b.exe", ""},
      {"empty", u"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ProgramAndParameters split = SplitProgramName(c.line);
    EXPECT_EQ(Utf16ToUtf8(split.program), c.program);
    EXPECT_EQ(Utf16ToUtf8(split.parameters), c.parameters);
  }
}

TEST(QuoteArgumentTest, SplitsBackToTheSameArgument) {
  const std::u16string_view arguments[] = {
      u"plain",          u"",        u"a b",      u"\\My Documents\\a b.vks",
      u"ends in \\",     u"\\\\",    u"say \"hi\"", u"\\\"",
      u"tab\there",      u"a\\\\\" b",
  };
  for (std::u16string_view argument : arguments) {
    SCOPED_TRACE(Utf16ToUtf8(argument));
    const std::u16string line = u"x " + QuoteArgument(argument) + u" y";
    const std::vector<std::u16string> split = SplitCommandLine(line);
    ASSERT_EQ(split.size(), 3u);
    EXPECT_EQ(split[1], argument);
  }
  EXPECT_EQ(QuoteArgument(u"\\Temp\\x.txt"), u"\\Temp\\x.txt");  // nothing to protect
}

}  // namespace
}  // namespace varnisk::platform
