#include "engine/script_text.h"

#include <gtest/gtest.h>

namespace varnisk::engine {
namespace {

TEST(ScriptTextTest, FindsTheFirstOccurrenceAtOrAfterAPosition) {
  const std::u16string text = u"PROC a\nx\nPROC ab\nPROC a\nIFEX\nPR";
  ScriptText script(text.c_str());
  const char16_t* begin = script.Begin();
  EXPECT_EQ(script.End(), begin + text.size());
  EXPECT_EQ(script.Find(begin, u"PROC a"), begin + 0);
  EXPECT_EQ(script.Find(begin + 1, u"PROC a"), begin + 9);  // a prefix of "PROC ab"
  EXPECT_EQ(script.Find(begin + 10, u"PROC a\n"), begin + 17);
  EXPECT_EQ(script.Find(begin + 18, u"PROC a"), nullptr);
  EXPECT_EQ(script.Find(begin, u"IFEX\n"), begin + 24);
  EXPECT_EQ(script.Find(begin, u"PR"), begin + 0);
  EXPECT_EQ(script.Find(begin + 25, u"PR"), begin + 29);
  EXPECT_EQ(script.Find(begin, u"ENDP"), nullptr);
  EXPECT_EQ(script.Find(script.End(), u"PR"), nullptr);
}

TEST(ScriptTextTest, SearchesOnlyUpToTheTerminator) {
  const char16_t text[] = u"ab\0PROC x";
  ScriptText script(text);
  EXPECT_EQ(script.End(), text + 2);
  EXPECT_EQ(script.Find(text, u"PROC"), nullptr);
}

}  // namespace
}  // namespace varnisk::engine
