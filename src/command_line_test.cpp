#include "command_line.h"

#include <gtest/gtest.h>

namespace varnisk {
namespace {

TEST(CommandLineParseTest, OptionsThenTheScriptLine) {
  auto options = ParseCommandLine({"--device", "/d", "--ui=none", "--codepage", "1252",
                                   "--log", "-", "MSGX", "Hello,Title", "--card"});
  ASSERT_TRUE(options) << options.error();
  EXPECT_EQ(options->device, "/d");
  EXPECT_EQ(options->ui, "none");
  EXPECT_EQ(options->codePage, 1252u);
  EXPECT_EQ(options->log, "-");
  // Everything from the first word that is no option belongs to the script line.
  EXPECT_EQ(ScriptLine(*options), "MSGX Hello,Title --card");
}

TEST(CommandLineParseTest, DoubleDashEndsTheOptions) {
  auto options = ParseCommandLine({"--platform", "smartphone", "--", "--version"});
  ASSERT_TRUE(options) << options.error();
  EXPECT_FALSE(options->version);
  EXPECT_EQ(ScriptLine(*options), "--version");
  EXPECT_EQ(PlatformFlagsFor(options->platform), 0u);
}

TEST(CommandLineParseTest, PlatformFlags) {
  EXPECT_EQ(PlatformFlagsFor("pocketpc"), 0x30000u);
  EXPECT_EQ(PlatformFlagsFor("pocketpc4"), 0x10000u);
  EXPECT_EQ(PlatformFlagsFor("smartphone"), 0u);
  EXPECT_FALSE(PlatformFlagsFor("PocketPC"));
}

TEST(CommandLineParseTest, Errors) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--what"}, "unknown option --what"},
      {{"--log"}, "--log needs a value"},
      {{"--codepage", "0"}, "--codepage needs a code page number"},
      {{"--codepage", "70000"}, "--codepage needs a code page number"},
      {{"--output", "x"}, "go together"},
      {{"--ui", "GUI"}, "--ui must be"},
  };
  for (const auto& [args, message] : cases) {
    auto options = ParseCommandLine(args);
    ASSERT_FALSE(options) << message;
    EXPECT_NE(options.error().find(message), std::string::npos) << options.error();
  }
}

}  // namespace
}  // namespace varnisk
