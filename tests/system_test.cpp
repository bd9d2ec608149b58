// The system commands through the program on a temporary device: programs stored on the
// device started and ended, power, keys and sounds in the device journal, the display's
// orientation, pauses, window messages, and message boxes asked on a real terminal.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "program_runner.h"

extern char** environ;

namespace varnisk::testing {
namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits up to five seconds for done to hold.
template <class Condition>
bool Eventually(Condition done) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    usleep(20 * 1000);
  }
  return true;
}

// Whether pid names a process that has not ended (a zombie has ended).
bool Running(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' &&
         stat[close + 2] != 'X';
}

// A script that writes its pid to the file named by its first argument and then waits.
constexpr char kSleeper[] = "#!/bin/sh\necho $$ > \"$1\"\nexec sleep 30\n";

// A WAV file of 100 silent 16-bit mono frames at 8000 Hz.
std::string SilentWav() {
  auto le = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    return out;
  };
  const uint32_t dataBytes = 200;
  return "RIFF" + le(36 + dataBytes, 4) + "WAVE" + "fmt " + le(16, 4) + le(1, 2) + le(1, 2) +
         le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(dataBytes, 4) +
         std::string(dataBytes, '\0');
}

class SystemTest : public ::testing::Test {
 protected:
  SystemTest() {
    EXPECT_EQ(Run("EVAL x=0").status, 0);  // makes the device
  }
  ~SystemTest() override {
    for (pid_t pid : started_) kill(pid, SIGKILL);
  }

  ProgramRun Run(const std::string& line) {
    return RunVarnisk({"--device", device(), "--ui", "none", "--log", "-", "--", line},
                      {"VARNISK_TIME=2026-12-11T09:05:07"});
  }
  std::string device() const { return temp_.path() + "/dev"; }
  std::string Host(const std::string& relative) const { return temp_.path() + "/" + relative; }
  // A program stored on the device, given by its path below the root with "/".
  void WriteProgram(const std::string& path, const std::string& text) {
    temp_.Write("dev/files/" + path, text);
    chmod(Host("dev/files/" + path).c_str(), 0755);
  }
  std::string Journal() const { return temp_.Read("dev/state/journal"); }
  // The pid a sleeper wrote, once it wrote one.
  std::optional<pid_t> PidIn(const std::string& relative) {
    std::optional<pid_t> pid;
    Eventually([&] {
      std::ifstream in(Host(relative));
      pid_t value = 0;
      if (in >> value && value > 0) pid = value;
      return pid.has_value();
    });
    if (pid) started_.push_back(*pid);
    return pid;
  }

  TempFolder temp_;
  std::vector<pid_t> started_;  // killed when the test ends, whatever happened
};

TEST_F(SystemTest, ExecWaitsForTheProgramUnlessToldNotTo) {
  WriteProgram("Program Files/slow.sh", "#!/bin/sh\nsleep 0.3\necho done > \"$1\"\n");
  const auto start = Clock::now();
  EXPECT_EQ(Run("EXEC \\Program Files\\slow.sh," + Host("waited")).status, 0);
  EXPECT_GE(MillisecondsSince(start), 300);
  EXPECT_EQ(temp_.Read("waited"), "done\n");

  WriteProgram("Program Files/slower.sh", "#!/bin/sh\necho $$ > \"$1\"\nsleep 3\n");
  const auto second = Clock::now();
  EXPECT_EQ(Run("EXEC !\\Program Files\\slower.sh," + Host("started")).status, 0);
  EXPECT_LT(MillisecondsSince(second), 2000);
  const std::optional<pid_t> pid = PidIn("started");
  ASSERT_TRUE(pid);
  EXPECT_TRUE(Running(*pid));
}

TEST_F(SystemTest, ExecOfAMissingProgramGivesItsErrorCode) {
  const std::pair<const char*, int> cases[] = {
      {"EXEC \\Program Files\\nothing.exe", 2},
      {"EXEC !\\No Folder\\nothing.exe", 3},
  };
  for (auto [line, status] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line).status, status);
  }
}

TEST_F(SystemTest, KillEndsWhatTheDeviceStartedAndNothingElse) {
  WriteProgram("Program Files/sleeper.sh", kSleeper);
  ASSERT_EQ(Run("EXEC !\\Program Files\\sleeper.sh," + Host("device.pid")).status, 0);
  const std::optional<pid_t> onDevice = PidIn("device.pid");
  ASSERT_TRUE(onDevice);

  // The same script under the same name, started on the host by someone else.
  temp_.Write("host/sleeper.sh", kSleeper);
  chmod(Host("host/sleeper.sh").c_str(), 0755);
  const std::string hostScript = Host("host/sleeper.sh");
  const std::string hostPid = Host("host.pid");
  char* argv[] = {const_cast<char*>(hostScript.c_str()), const_cast<char*>(hostPid.c_str()),
                  nullptr};
  pid_t onHost = 0;
  ASSERT_EQ(posix_spawn(&onHost, hostScript.c_str(), nullptr, nullptr, argv, environ), 0);
  ASSERT_TRUE(PidIn("host.pid"));

  EXPECT_EQ(Run("KILL SLEEPER").status, 0);
  EXPECT_TRUE(Eventually([&] { return !Running(*onDevice); }));
  EXPECT_TRUE(Running(onHost));
  // Nothing of the device's is left to end.
  EXPECT_EQ(Run("KILL sleeper").status, 1);
  EXPECT_TRUE(Running(onHost));
  kill(onHost, SIGKILL);
  waitpid(onHost, nullptr, 0);
}

TEST_F(SystemTest, KillWithoutANameEndsTheDevicesProcessesAndTheProgramLast) {
  WriteProgram("Program Files/sleeper.sh", kSleeper);
  ASSERT_EQ(Run("EXEC !\\Program Files\\sleeper.sh," + Host("device.pid")).status, 0);
  const std::optional<pid_t> onDevice = PidIn("device.pid");
  ASSERT_TRUE(onDevice);
  // The program ends with status 0 in the middle of its line: the EVAL never runs.
  EXPECT_EQ(Run("BATC KILL;EVAL x=5").status, 0);
  EXPECT_TRUE(Eventually([&] { return !Running(*onDevice); }));
}

TEST_F(SystemTest, PowerRequestsGoIntoTheJournalAndRestartEndsTheDevicesProcesses) {
  WriteProgram("Program Files/sleeper.sh", kSleeper);
  ASSERT_EQ(Run("EXEC !\\Program Files\\sleeper.sh," + Host("device.pid")).status, 0);
  const std::optional<pid_t> onDevice = PidIn("device.pid");
  ASSERT_TRUE(onDevice);
  // The script goes on after the restart, as it does when the platform's call returns.
  EXPECT_EQ(Run("BATC SHUT R;EVAL x=7").status, 7);
  EXPECT_TRUE(Eventually([&] { return !Running(*onDevice); }));

  for (const char* line : {"SHUT H0x01012345", "SHUT P", "SHUT s", "SHUT K", "SHUT"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line).status, 0);
  }
  EXPECT_EQ(Journal(),
            "2026-12-11T09:05:07.000 power ioctl 0x0101003C restart\n"
            "2026-12-11T09:05:07.000 power ioctl 0x01012345\n"
            "2026-12-11T09:05:07.000 power clean-boot\n"
            "2026-12-11T09:05:07.000 power ioctl 0x0101003C restart\n"
            "2026-12-11T09:05:07.000 power exit-windows 0x00000008 power-off\n"
            "2026-12-11T09:05:07.000 power ioctl 0x01012000\n"
            "2026-12-11T09:05:07.000 power power-off\n"
            "2026-12-11T09:05:07.000 key down 0xDF silent\n"
            "2026-12-11T09:05:07.000 key up 0xDF silent\n"
            "2026-12-11T09:05:07.000 power exit-windows 0x00000002 restart\n");
}

TEST_F(SystemTest, DispTwiceReturnsToTheFirstOrientation) {
  EXPECT_EQ(Run("DISP").status, 0);
  EXPECT_EQ(temp_.Read("dev/state/display"), "orientation 1\n");
  EXPECT_EQ(Run("DISP").status, 0);
  EXPECT_EQ(temp_.Read("dev/state/display"), "orientation 0\n");
  EXPECT_EQ(Run("DISP 4").status, 0);
  // No orientation 3: the platform's bad-mode code, and the screen stays where it was.
  const ProgramRun bad = Run("DISP 3");
  EXPECT_EQ(bad.status, 255);
  EXPECT_NE(bad.err.find("     FFFFFFFE"), std::string::npos) << bad.err;
  EXPECT_EQ(temp_.Read("dev/state/display"), "orientation 4\n");
  EXPECT_EQ(Run("DISP").status, 0);
  EXPECT_EQ(temp_.Read("dev/state/display"), "orientation 0\n");
}

TEST_F(SystemTest, WaitPausesForTheGivenTime) {
  const auto start = Clock::now();
  EXPECT_EQ(Run("WAIT 200").status, 0);
  const int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 200);
  EXPECT_LT(elapsed, 1000);
}

TEST_F(SystemTest, KeysAndSoundsGoIntoTheJournal) {
  temp_.Write("dev/files/Windows/ok.wav", SilentWav());
  temp_.Write("dev/files/Windows/bad.wav", "RIFF\x10\x00\x00\x00WAVEjunkjunkjunk"s);
  const std::pair<const char*, int> cases[] = {
      {"SEND 65", 0},
      {"SEND 0x11_,0", 1},
      {"PLAY \\Windows\\ok.wav", 0},
      {"PLAY !*\\windows\\OK.WAV", 0},
      {"PLAY", 0},
      {"PLAY \\Windows\\bad.wav", 1},
      {"PLAY \\Windows\\missing.wav", 1},
      {"PLAY $SystemQuestion", 0},
      {"PLAY $NoSuchSound", 1},
      {"BEEP 0x30", 0},
  };
  for (auto [line, status] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line).status, status);
  }
  // This machine has no audio output: a valid file counts as played without one.
  EXPECT_EQ(Journal(),
            "2026-12-11T09:05:07.000 key down 0x41\n"
            "2026-12-11T09:05:07.000 key up 0x41\n"
            "2026-12-11T09:05:07.000 key down 0x11\n"
            "2026-12-11T09:05:07.000 key down 0x00\n"
            "2026-12-11T09:05:07.000 key up 0x00\n"
            "2026-12-11T09:05:07.000 sound play 0x00020000 \\Windows\\ok.wav no-output\n"
            "2026-12-11T09:05:07.000 sound play 0x00020009 \\windows\\OK.WAV no-output\n"
            "2026-12-11T09:05:07.000 sound stop\n"
            "2026-12-11T09:05:07.000 sound play 0x00020000 \\Windows\\bad.wav failed\n"
            "2026-12-11T09:05:07.000 sound play 0x00020000 \\Windows\\missing.wav failed\n"
            "2026-12-11T09:05:07.000 sound play 0x00030000 SystemQuestion built-in\n"
            "2026-12-11T09:05:07.000 sound play 0x00030000 NoSuchSound failed\n"
            "2026-12-11T09:05:07.000 sound beep 0x00000030 built-in\n");
}

TEST_F(SystemTest, ASystemSoundPlaysItsFileWhenTheDeviceHasOne) {
  temp_.Write("dev/files/Windows/Question.wav", SilentWav());
  temp_.Write("dev/files/Windows/Exclam.wav", "not a sound");
  EXPECT_EQ(Run("PLAY $systemquestion").status, 0);
  EXPECT_EQ(Run("PLAY $SystemExclamation").status, 1);
  EXPECT_EQ(Run("BEEP 0x30").status, 0);  // a beep falls back to the built-in sound
  EXPECT_EQ(Journal(),
            "2026-12-11T09:05:07.000 sound play 0x00030000 systemquestion no-output\n"
            "2026-12-11T09:05:07.000 sound play 0x00030000 SystemExclamation failed\n"
            "2026-12-11T09:05:07.000 sound beep 0x00000030 built-in\n");
}

TEST_F(SystemTest, WindowMessages) {
  const ProgramRun noWindowField = Run("POST SomeClass");
  EXPECT_EQ(noWindowField.status, 255);
  EXPECT_NE(noWindowField.err.find("     80070057 "), std::string::npos) << noWindowField.err;
  // No window has the class: nothing is sent.
  EXPECT_EQ(Run("POST =SomeClass,0x10").status, 0);
  EXPECT_EQ(Run("POST $,0x111,#5,#0").status, 1);
}

TEST_F(SystemTest, WithoutATerminalAMessageBoxGivesZero) {
  const ProgramRun none = Run("MSGX Hello");
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.err.find("MSGX Hello\n     00000000"), std::string::npos) << none.err;
  // auto: standard input is no terminal here.
  EXPECT_EQ(RunVarnisk({"--device", device(), "MSGX Hello,Title,1"}).status, 0);
}

// What a run on a pseudo-terminal showed, and its exit status.
struct TerminalRun {
  int status = -1;
  std::string shown;
};

// Runs the program on a new pseudo-terminal (standard input, output and error) and types
// the next answer each time prompt appears. Gives up after ten seconds.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& prompt,
                          std::vector<std::string> answers) {
  std::vector<std::string> argStrings{VARNISK_PROGRAM};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  TerminalRun run;
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) return run;
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execv(argv[0], argv.data());
    _exit(127);
  }
  size_t answered = 0;
  size_t searchFrom = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char chunk[512];
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) break;  // EIO once the program has ended
    run.shown.append(chunk, static_cast<size_t>(n));
    const size_t at = run.shown.find(prompt, searchFrom);
    if (at != std::string::npos && answered < answers.size()) {
      searchFrom = at + prompt.size();
      const std::string& answer = answers[answered++];
      if (write(master, answer.data(), answer.size()) < 0) break;
    }
  }
  if (Clock::now() >= deadline) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST_F(SystemTest, MessageBoxesAskOnTheTerminal) {
  struct Case {
    const char* name;
    const char* ui;
    const char* line;
    std::vector<std::string> answers;
    int button;
  } cases[] = {
      {"yes", "tty", "MSGX Continue?,Setup,36", {"y\n"}, 6},
      {"no, after an answer that names no button", "tty", "MSGX Continue?,Setup,36",
       {"maybe\n", "No\n"}, 7},
      {"the default button", "tty", "MSGX Continue?,Setup,0x223", {"\n"}, 2},
      {"auto picks the terminal", "auto", "MSGX 继续？,安装,1", {"c\n"}, 2},
      {"end of input closes a yes/no box with No", "tty", "MSGX Continue?,Setup,4",
       {"\x04"}, 7},
      {"end of input closes an OK box with OK", "tty", "MSGX Hello", {"\x04"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TerminalRun run = RunOnTerminal({"--device", device(), "--ui", c.ui, "--", c.line},
                                          "]: ", c.answers);
    EXPECT_EQ(run.status, c.button) << run.shown;
    EXPECT_NE(run.shown.find("]: "), std::string::npos) << run.shown;
  }
  const TerminalRun shown = RunOnTerminal(
      {"--device", device(), "--ui", "tty", "--", "MSGX 继续？,安装,36"}, "]: ", {"n\n"});
  EXPECT_EQ(shown.status, 7);
  // The terminal turns the program's "\n" into "\r\n".
  EXPECT_EQ(shown.shown.substr(0, shown.shown.find("]: ") + 3),
            "安装\r\n[Question] 继续？\r\nYes (y), No (n) [y]: ");
}

}  // namespace
}  // namespace varnisk::testing
