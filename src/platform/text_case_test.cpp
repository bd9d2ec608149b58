#include "platform/text_case.h"

#include <gtest/gtest.h>

namespace varnisk::platform {
namespace {

TEST(TextCaseTest, FoldsLettersOfTheCommonAlphabets) {
  struct Case {
    std::u16string_view a;
    std::u16string_view b;
    bool equal;
  } cases[] = {
      {u"Windows", u"WINDOWS", true},   {u"\u00E9t\u00E9", u"\u00C9T\u00C9", true},
      {u"\u0105", u"\u0104", true},     {u"\u017E", u"\u017D", true},
      {u"\u03B1\u03C9", u"\u0391\u03A9", true}, {u"\u0434\u0451", u"\u0414\u0401", true},
      {u"\u4E2D", u"\u4E2D", true},     {u"a", u"b", false},
      {u"ab", u"a", false},             {u"[", u"{", false},
      {u"\u00F7", u"\u00D7", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal);
  }
  EXPECT_LT(CompareNoCase(u"apple", u"BANANA"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_LT(CompareNoCase(u"a", u"AB"), 0);
}

}  // namespace
}  // namespace varnisk::platform
