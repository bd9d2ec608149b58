#include "system/display.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

TEST(DisplayTest, WithoutAnOrientationTheScreenToggles) {
  struct Case {
    uint32_t before;
    const char* line;
    Result result;
    uint32_t after;
  } cases[] = {
      {0, "DISP", 0, 1},
      {1, "DISP", 0, 0},
      {2, "DISP", 0, 0},
      {0, "DISP 4", 0, 4},
      {0, "DISP 0x2", 0, 2},
      {1, "DISP 3", platform::kDisplayChangeBadMode, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + std::string(" from ") + std::to_string(c.before));
    FakeApp fake;
    fake.device.display.orientation = c.before;
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(fake.device.display.orientation, c.after);
  }
}

TEST(DisplayTest, TwiceReturnsToTheFirstOrientation) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("DISP\nDISP"), 0u);
  EXPECT_EQ(fake.device.display.calls, (std::vector<std::string>{"get", "set 1", "get", "set 0"}));
  EXPECT_EQ(fake.device.display.orientation, 0u);
}

TEST(DisplayTest, AnUnreadableDisplayIsNotChanged) {
  FakeApp fake;
  fake.device.display.getResult = platform::kDisplayChangeFailed;
  EXPECT_EQ(fake.Run("DISP 1"), platform::kDisplayChangeFailed);
  EXPECT_EQ(fake.device.display.calls, std::vector<std::string>{"get"});
}

}  // namespace
}  // namespace varnisk::system
