#include "system/pause.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

TEST(WaitTest, SleepsThroughTheDeviceClock) {
  engine::FakeApp fake;
  EXPECT_EQ(fake.Run("WAIT 200\nWAIT 0x10\nWAIT\nWAIT 1.5s"), 0u);
  EXPECT_EQ(fake.device.clock.slept, (std::vector<uint32_t>{200, 16, 0, 1}));
}

}  // namespace
}  // namespace varnisk::system
