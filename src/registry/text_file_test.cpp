#include "registry/text_file.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace varnisk::registry {
namespace {

TEST(LoadTextFileTest, RecognisesTheThreeEncodings) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"empty file", "", u""},
      {"one byte is kept as it is", "A", u"A"},
      {"two ANSI bytes are converted", "AB", u"AB"},
      {"A and a zero byte are UTF-16", "A\0"s, u"A"},
      {"UTF-16 with mark", "\xFF\xFE" "A\0\x2D\x4E"s, u"A\x4E2D"},
      {"UTF-16 with mark and odd length", "\xFF\xFE" "A\0B"s, u"AB"},
      {"UTF-16 without mark, Latin first", "A\0\x2D\x4E"s, u"A\x4E2D"},
      {"UTF-16 without mark, CJK first, is taken as ANSI", "\x2D\x4E" "A\0"s, u"-NA\0"s},
      {"big-endian mark is not recognised", "\xFE\xFF\0A"s, u"\xFFFD\xFFFD\0A"s},
      {"UTF-8 with signature", "\xEF\xBB\xBF" "a\xE4\xB8\xAD", u"a\x4E2D"},
      {"the third signature byte is dropped unread", "\xEF\xBB" "Xab", u"ab"},
      {"signature alone", "\xEF\xBB\xBF", u""},
      {"UTF-16 after a signature", "\xEF\xBB\xBF" "A\0"s, u"A"},
      {"ANSI bytes beyond ASCII", "a\xD6\xD0", u"a\xFFFD\xFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::FakePlatform device;
    device.files.WriteFile(u"\\t.txt", c.bytes);
    auto text = LoadTextFile(device.View(), u"\\t.txt");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.text);
  }
}

TEST(LoadTextFileTest, AMissingFileGivesNothing) {
  platform::FakePlatform device;
  EXPECT_FALSE(LoadTextFile(device.View(), u"\\missing.txt").has_value());
}

TEST(LoadTextFileTest, TakesAtMostTheBytesAskedFor) {
  platform::FakePlatform device;
  device.files.WriteFile(u"\\t.txt", "abcdef");
  EXPECT_EQ(LoadTextFile(device.View(), u"\\t.txt", 3), u"abc");
}

}  // namespace
}  // namespace varnisk::registry
