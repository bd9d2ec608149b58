#include "ui/ui_mode.h"

#include <gtest/gtest.h>

namespace varnisk::ui {
namespace {

TEST(UiModeTest, AutoPicksWhatTheSurroundingsAllow) {
  struct Case {
    const char* requested;
    UiSurroundings surroundings;
    std::optional<UiMode> mode;  // nullopt: refused
  } cases[] = {
      {"auto", {false, false}, UiMode::kNone},
      {"auto", {false, true}, UiMode::kTty},
      {"auto", {true, true}, UiMode::kTty},  // no windows of its own in this build
      {"auto", {true, false}, UiMode::kNone},
      {"none", {true, true}, UiMode::kNone},
      {"tty", {false, false}, UiMode::kTty},
      {"gui", {true, true}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.requested) + " display " +
                 std::to_string(c.surroundings.display) + " terminals " +
                 std::to_string(c.surroundings.terminals));
    const auto mode = ChooseUiMode(c.requested, c.surroundings);
    ASSERT_EQ(mode.has_value(), c.mode.has_value());
    if (mode) {
      EXPECT_EQ(*mode, *c.mode);
    } else {
      EXPECT_NE(mode.error().find("--ui gui is not available"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace varnisk::ui
