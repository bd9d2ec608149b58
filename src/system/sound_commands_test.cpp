#include "system/sound_commands.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

TEST(PlaySoundTest, PrefixesBecomeFlagsAndTheRestIsTheName) {
  struct Case {
    const char* line;
    const char* call;
    Result result;
  } cases[] = {
      {"PLAY \\Windows\\a.wav", "play \\Windows\\a.wav 0x00020000", 0},
      {"PLAY !\\Windows\\a.wav", "play \\Windows\\a.wav 0x00020001", 0},
      {"PLAY $SystemAsterisk", "play SystemAsterisk 0x00030000", 0},
      {"PLAY *!*\\Windows\\a.wav", "play \\Windows\\a.wav 0x00020009", 0},
      // A prefix counts only at the start.
      {"PLAY \\Windows\\!a.wav", "play \\Windows\\!a.wav 0x00020000", 1},
      {"PLAY \\Windows\\missing.wav", "play \\Windows\\missing.wav 0x00020000", 1},
      // Nothing left after the prefixes: the sound that plays on stops.
      {"PLAY", "play  0x00020000", 0},
      {"PLAY !*", "play  0x00020009", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    fake.device.sound.playable = {u"\\Windows\\a.wav", u"SystemAsterisk"};
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(fake.device.sound.calls, std::vector<std::string>{c.call});
  }
}

TEST(MessageBeepTest, TheTypeIsANumber) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("BEEP 0x40\nBEEP 16\nBEEP"), 0);
  EXPECT_EQ(fake.device.sound.calls,
            (std::vector<std::string>{"beep 0x00000040", "beep 0x00000010", "beep 0x00000000"}));
}

}  // namespace
}  // namespace varnisk::system
