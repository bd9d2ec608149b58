#include "files/wildcard.h"

#include <gtest/gtest.h>

namespace varnisk::files {
namespace {

TEST(WildcardMatchTest, StarsQuestionMarksAndCase) {
  struct Case {
    std::u16string_view name;
    std::u16string_view pattern;
    bool matches;
  } cases[] = {
      {u"abc", u"a*c", true},          {u"axxbyyc", u"a*b*c", true},
      {u"a", u"a?", false},            {u"ab", u"a**", true},
      {u"a", u"a**", false},           {u"README.TXT", u"*.txt", false},
      {u"readme.txt", u"*.txt", true}, {u"anything", u"*", true},
      {u"", u"*", true},               {u"x", u"", false},
      {u"abc", u"abc", true},          {u"abc", u"ab", false},
      {u"abcbc", u"a*bc", true},       {u"a.b.c", u"*.c", true},
      {u"\u4E2D\u6587.vks", u"*.vks", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.matches)
        << std::string(c.name.begin(), c.name.end()) << " ~ "
        << std::string(c.pattern.begin(), c.pattern.end());
  }
}

TEST(SplitSearchPathTest, FolderAndPattern) {
  const std::pair<std::u16string_view, SearchPath> cases[] = {
      {u"\\Windows\\*.lnk", {u"\\Windows", u"*.lnk"}},
      {u"\\Windows\\", {u"\\Windows", u""}},
      {u"*.vks", {u"", u"*.vks"}},
      {u"\\a.vks", {u"", u"a.vks"}},
  };
  for (const auto& [path, expected] : cases) {
    const SearchPath split = SplitSearchPath(path);
    EXPECT_EQ(split.folder, expected.folder);
    EXPECT_EQ(split.pattern, expected.pattern);
  }
}

}  // namespace
}  // namespace varnisk::files
