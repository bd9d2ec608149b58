// The program from its command line: options, the log, exit status, the device folder
// and the embedded command.

#include <gtest/gtest.h>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  // Runs a script line on the test's device with the log on standard error.
  ProgramRun Run(const std::vector<std::string>& line,
                 const std::vector<std::string>& environment = {}) {
    std::vector<std::string> args{"--device", device(), "--ui", "none", "--log", "-", "--"};
    args.insert(args.end(), line.begin(), line.end());
    return RunVarnisk(args, environment);
  }
  std::string device() const { return temp_.path() + "/dev"; }

  TempFolder temp_;
};

TEST_F(CommandLineTest, EvalMakesItsNumberTheExitStatusAndLogsIt) {
  const ProgramRun run = Run({"EVAL x=0x2A"});
  EXPECT_EQ(run.status, 42);
  EXPECT_EQ(run.err, "EVAL x=0x2A\n     0000002A \n\n");
}

TEST_F(CommandLineTest, ArgumentsAreJoinedIntoOneLine) {
  const ProgramRun run = Run({"EVAL", "1=a,b", "c"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "EVAL 1=a\x01" "b c\n     00000000 The operation completed successfully.\n\n");
}

TEST_F(CommandLineTest, ExitStatusMapsEveryFailureAwayFromSuccess) {
  const std::pair<const char*, int> cases[] = {
      {"EVAL x=0", 0},     {"EVAL x=254", 254},       {"EVAL x=255", 255},
      {"EVAL x=1001", 255}, {"EVAL x=0xFFFFFFFF", 255}, {"FILE \\x", 2},
  };
  for (auto [line, status] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run({line}).status, status);
  }
}

TEST_F(CommandLineTest, ANewDeviceGetsTheStandardFolders) {
  ASSERT_EQ(Run({"EVAL x=1"}).status, 1);
  for (const char* folder : {"Windows/Start Menu/Programs", "Windows/StartUp",
                             "Windows/Favorites", "My Documents", "Program Files",
                             "Application Data", "Temp"}) {
    EXPECT_TRUE(temp_.Exists("dev/files/" + std::string(folder))) << folder;
  }
  EXPECT_TRUE(temp_.Exists("dev/files/Windows/Varnisk.exe"));
  EXPECT_NE(temp_.Read("dev/files/Windows/Varnisk.htm").find("<dt>TGZX archive,folder</dt>"),
            std::string::npos);
  EXPECT_TRUE(temp_.Exists("dev/state"));
}

TEST_F(CommandLineTest, TheDefaultDeviceFollowsTheEnvironment) {
  const ProgramRun run = RunVarnisk({"--ui", "none", "EVAL x=3"},
                                    {"XDG_DATA_HOME=" + temp_.path() + "/data"});
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(temp_.Exists("data/varnisk/device/files/Windows"));
  const ProgramRun chosen = RunVarnisk({"--ui", "none", "EVAL x=4"},
                                       {"VARNISK_DEVICE=" + temp_.path() + "/other"});
  EXPECT_EQ(chosen.status, 4);
  EXPECT_TRUE(temp_.Exists("other/files/Windows"));
}

TEST_F(CommandLineTest, DateAndTimeComeFromTheDeviceClock) {
  const ProgramRun run = Run({"EVAL 1=%D %T\nEVAL 2=%1"}, {"VARNISK_TIME=2026-12-11T09:05:07"});
  EXPECT_NE(run.err.find("EVAL 2=2026/12/11 9:05:07\n"), std::string::npos) << run.err;
}

TEST_F(CommandLineTest, WithoutAWindowTheWindowCommandsFail) {
  for (const char* line : {"VKUI", "DLGX Title,$x", "HELP"}) {
    SCOPED_TRACE(line);
    const ProgramRun run = Run({line});
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.err.find("     FFFFFFFF "), std::string::npos) << run.err;
  }
}

TEST_F(CommandLineTest, UsageErrorsNameTheProblem) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--device"}, "--device needs a value"},
      {{"--ui", "fancy", "x"}, "--ui must be"},
      {{"--platform", "desk", "x"}, "--platform must be"},
      {{"--codepage", "abc", "x"}, "--codepage needs a code page number"},
      {{"--embed", "x"}, "go together"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    const ProgramRun run = RunVarnisk(args);
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
}

TEST_F(CommandLineTest, HelpAndVersion) {
  const ProgramRun help = RunVarnisk({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--device DEV"), std::string::npos);
  EXPECT_NE(help.out.find("EVAL n=text"), std::string::npos);
  const ProgramRun version = RunVarnisk({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("varnisk ", 0), 0u);
}

TEST_F(CommandLineTest, AnEmptyCommandLineRunsTheEmbeddedCommand) {
  // The program as built opens the main window, which cannot be made without a UI.
  EXPECT_EQ(RunVarnisk({"--device", device(), "--ui", "none"}).status, 255);

  const std::string copy = temp_.path() + "/custom";
  const ProgramRun embed = RunVarnisk({"--embed", "EVAL x=%E,%#0041", "--output", copy});
  ASSERT_EQ(embed.status, 0) << embed.err;
  const ProgramRun run = RunProgram(copy, {"--device", device(), "--log", "-"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.rfind("EVAL x=\\Windows\\Varnisk.exe\x01" "A\n", 0), 0u) << run.err;
  // A command line still wins over the embedded command.
  EXPECT_EQ(RunProgram(copy, {"--device", device(), "EVAL x=9"}).status, 9);

  const ProgramRun tooLong =
      RunVarnisk({"--embed", std::string(28, 'a'), "--output", copy + "2"});
  EXPECT_EQ(tooLong.status, 255);
  EXPECT_FALSE(temp_.Exists("custom2"));
}

}  // namespace
}  // namespace varnisk::testing
