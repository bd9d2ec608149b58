#include "system/keys.h"

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

TEST(SendKeysTest, PressesReleasesAndTheLastKeyDecidesTheResult) {
  struct Case {
    const char* line;
    const char* events;
    Result result;
  } cases[] = {
      {"SEND 65", "down 0x41, up 0x41", 0},
      {"SEND 0x11_,0x43,0x11^", "down 0x11, down 0x43, up 0x43, up 0x11", 0},
      {"SEND 0x141", "down 0x41, up 0x41", 0},  // the virtual key is the low 8 bits
      {"SEND 256", "down 0x00, up 0x00", 0},    // ... but the result looks at the number
      {"SEND 0", "down 0x00, up 0x00", 1},
      {"SEND", "down 0x00, up 0x00", 1},
      {"SEND 65,0", "down 0x41, up 0x41, down 0x00, up 0x00", 1},
      {"SEND 0,65", "down 0x00, up 0x00, down 0x41, up 0x41", 0},
      {"SEND 65,", "down 0x41, up 0x41, down 0x00, up 0x00", 1},
      {"SEND 65_^", "up 0x41", 0},  // only the last character marks the key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(Joined(fake.device.keyboard.calls), c.events);
  }
}

}  // namespace
}  // namespace varnisk::system
