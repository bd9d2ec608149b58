#include "system/power.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

std::string Joined(const std::vector<std::string>& calls) {
  std::string out;
  for (const std::string& call : calls) out += (out.empty() ? "" : ", ") + call;
  return out;
}

TEST(ShutTest, EachLetterMakesItsCalls) {
  struct Case {
    const char* line;
    const char* calls;
  } cases[] = {
      {"SHUT R", "ioctl 0x0101003C"},
      {"SHUT r", "ioctl 0x0101003C"},
      {"SHUT C", "clean-boot, ioctl 0x0101003C"},
      {"SHUT H", "ioctl 0x01012048, clean-boot, ioctl 0x0101003C"},
      {"SHUT H0x0101003C", "ioctl 0x0101003C, clean-boot, ioctl 0x0101003C"},
      {"SHUT H010", "ioctl 0x0000000A, clean-boot, ioctl 0x0101003C"},
      {"SHUT H1", "ioctl 0x01012048, clean-boot, ioctl 0x0101003C"},
      {"SHUT P", "exit-windows 0x00000008"},
      {"SHUT S", "ioctl 0x01012000, power-off"},
      {"SHUT g", "power-off"},
      {"SHUT", "exit-windows 0x00000002"},
      {"SHUT Restart", "ioctl 0x0101003C"},  // only the first letter counts
      {"SHUT x", "exit-windows 0x00000002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    EXPECT_EQ(fake.Run(c.line), 0u);
    EXPECT_EQ(Joined(fake.device.power.calls), c.calls);
    EXPECT_TRUE(fake.device.keyboard.calls.empty());

    FakeApp refusing;
    refusing.device.power.accept = false;
    EXPECT_EQ(refusing.Run(c.line), 1u);
  }
}

TEST(ShutTest, KPressesThePowerKeyAndAlwaysSucceeds) {
  FakeApp fake;
  fake.device.power.accept = false;
  EXPECT_EQ(fake.Run("SHUT k"), 0u);
  EXPECT_EQ(Joined(fake.device.keyboard.calls), "down 0xDF silent, up 0xDF silent");
  EXPECT_TRUE(fake.device.power.calls.empty());
}

}  // namespace
}  // namespace varnisk::system
