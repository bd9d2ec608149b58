#include "system/window_messages.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

TEST(PostTest, WindowMessageAndParameters) {
  struct Case {
    const char* line;
    const char* call;  // empty: nothing sent
    Result result;
  } cases[] = {
      {"POST Target,0x111,#5,#0", "post 7 0x0111 5 0", 1},
      {"POST =Target,0x10", "send 7 0x0010 0 0", 42},
      {"POST $,0x111,#5,#0", "post 65535 0x0111 5 0", 1},
      {"POST =$anything,16", "send 65535 0x0010 0 0", 42},
      {"POST Target,16,5", "post 7 0x0010 0 0", 1},  // the first character is the marker
      {"POST Target,16,$hello,#3", "post 7 0x0010 $hello 3", 1},
      {"POST Target,16,,x0x20", "post 7 0x0010 0 32", 1},
      {"POST Target,16,#1,#2,#3", "post 7 0x0010 1 2", 1},
      {"POST Target,", "post 7 0x0000 0 0", 1},
      {"POST Nobody,16", "", 0},
      {"POST Target", "", kEInvalidArg},
      {"POST =Target", "", kEInvalidArg},
      {"POST", "", kEInvalidArg},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    fake.device.windows.windows[u"Target"] = 7;
    fake.device.windows.answer = 42;
    EXPECT_EQ(fake.Run(c.line), c.result);
    std::vector<std::string> expected;
    if (*c.call != 0) expected.push_back(c.call);
    EXPECT_EQ(fake.device.windows.calls, expected);
  }
}

}  // namespace
}  // namespace varnisk::system
