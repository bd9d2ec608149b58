#include "platform/utf.h"

#include <gtest/gtest.h>

namespace varnisk::platform {
namespace {

TEST(UtfTest, DecodesUtf8AndReplacesWhatIsMalformed) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"ASCII", "abc", u"abc"},
      {"two, three and four bytes", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", u"\u00E9\u4E2D\U0001F600"},
      {"lone continuation byte", "a\x80" "b", u"a\xFFFD" "b"},
      {"truncated sequence at the end", "a\xE4\xB8", u"a\xFFFD"},
      {"overlong form", "\xC0\xAF", u"\xFFFD\xFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\xFFFD"},
      {"NUL is a character", "a\0b"s, u"a\0b"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.text);
  }
}

TEST(UtfTest, EncodesUtf16IncludingPairsAndLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u4E2D\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xDC00)), "\xEF\xBF\xBD");
}

TEST(UtfTest, AsciiCheckLooksAtEveryByte) {
  std::string text(37, 'a');
  EXPECT_TRUE(IsAscii(text));
  for (size_t i : {0u, 7u, 8u, 31u, 36u}) {
    std::string changed = text;
    changed[i] = '\x80';
    EXPECT_FALSE(IsAscii(changed)) << i;
  }
}

}  // namespace
}  // namespace varnisk::platform
