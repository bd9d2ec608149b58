#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::engine {
namespace {

TEST(EvalTest, Forms) {
  struct Case {
    const char* script;
    Result result;
    const char* slot0;
    const char* slot1;
  } cases[] = {
      {"EVAL 1=Hello", 0, "zero", "Hello"},
      {"EVAL 1=", 0, "zero", ""},
      {"EVAL 1=42\nEVAL 1", 42, "zero", "42"},
      {"EVAL 1=0x2A\nEVAL 1", 42, "zero", "0x2A"},
      {"EVAL 12=abc", 0, "zero", "one"},  // "1" then not "=": the number in slot 1
      {"EVAL x=0x10", 16, "zero", "one"},
      {"EVAL X16", 16, "zero", "one"},
      {"EVAL x=abc", 0, "zero", "one"},
      {"EVAL", 0, "", "one"},
      {"EVAL y", 0, "", "one"},
      {"EVAL 2=%1\nEVAL 1=%2%2", 0, "zero", "oneone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    FakeApp fake;
    fake.SetVariable(0, u"zero");
    fake.SetVariable(1, u"one");
    EXPECT_EQ(fake.Run(c.script), c.result);
    EXPECT_EQ(fake.Variable(0), c.slot0);
    EXPECT_EQ(fake.Variable(1), c.slot1);
  }
}

TEST(EvalTest, ATextLongerThanASlotKeepsItsStartAndSaysSo) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("EVAL 3=" + std::string(300, 'b')), kErrorInsufficientBuffer);
  EXPECT_EQ(fake.Variable(3), std::string(259, 'b'));
  EXPECT_EQ(fake.Run("EVAL 3=" + std::string(259, 'c')), kSuccess);
  EXPECT_EQ(fake.Variable(3), std::string(259, 'c'));
}

TEST(EvalTest, VariablesOutliveRuns) {
  FakeApp fake;
  fake.Run("CALL p\nENDP\nPROC p\nEVAL 4=set inside\nENDP p");
  fake.Run("EVAL 5=%4");
  EXPECT_EQ(fake.Variable(5), "set inside");
}

}  // namespace
}  // namespace varnisk::engine
