#include "engine/entry.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::engine {
namespace {

TEST(EntryTest, StripQuotesRemovesOnlyTheOutermostPair) {
  struct Case {
    std::u16string_view text;
    std::u16string_view expected;
  } cases[] = {
      {u"\"\\My Documents\\a.vks\"", u"\\My Documents\\a.vks"},
      {u"\"\\a.vks", u"\\a.vks"},
      {u"\\a.vks\"", u"\\a.vks\""},
      {u"\"a\" \"b\"", u"a\" \"b"},
      {u"\"", u""},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StripQuotes(c.text, u'"'), c.expected);
  }
}

TEST(EntryTest, ExitStatusNeverMakesAFailureLookLikeSuccess) {
  const std::pair<Result, int> cases[] = {
      {0, 0}, {1, 1}, {42, 42}, {254, 254}, {255, 255}, {256, 255}, {1001, 255},
      {0xFFFFFFFF, 255}, {kEInvalidArg, 255},
  };
  for (auto [result, status] : cases) EXPECT_EQ(ExitStatus(result), status) << result;
}

TEST(EntryTest, AnEmptyCommandLineRunsTheEmbeddedCommand) {
  FakeApp fake;
  EXPECT_EQ(RunEntry(fake.app, u"", u"EVAL x=5"), 5u);
  EXPECT_EQ(RunEntry(fake.app, u"\"EVAL x=6\"", u"EVAL x=5"), 6u);
  // VKUI with no window possible: the platform's failure value.
  EXPECT_EQ(RunEntry(fake.app, u"", u"VKUI"), kDialogFailed);
}

}  // namespace
}  // namespace varnisk::engine
