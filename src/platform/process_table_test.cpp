// The process table must only ever name processes the device's shell started: rows of
// ended processes, reused pids and earlier boots drop out, writers on one device lose no
// rows, and ending signals nothing that is not recorded.

#include "platform/process_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/utf.h"

extern char** environ;

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string BootId() {
  std::string id = ReadText("/proc/sys/kernel/random/boot_id");
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return id;
}

// A host process of the test, not started by any device shell.
pid_t Spawn(const char* script) {
  const char* argv[] = {"/bin/sh", "-c", script, nullptr};
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
            0);
  return pid;
}

// How a child of the test ended: "running", "exit N" or "signal N".
std::string Fate(pid_t child, bool block) {
  int status = 0;
  const pid_t got = waitpid(child, &status, block ? 0 : WNOHANG);
  if (got == 0) return "running";
  if (got != child) return "lost";
  return WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                           : "signal " + std::to_string(WTERMSIG(status));
}

// The paths the table lists, separated by blanks.
std::string Paths(ProcessTable& table) {
  auto rows = table.List();
  if (!rows) return "error " + std::to_string(rows.error());
  std::string out;
  for (const DeviceProcess& row : *rows) out += (out.empty() ? "" : " ") + Utf16ToUtf8(row.path);
  return out;
}

class ProcessTableTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-processes-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    state_ = pattern;
    self_ = {getpid(), ProcessStartTime(getpid()).value_or(0), u""};
    ASSERT_NE(self_.startTime, 0u);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(state_, ignored);
  }

  DeviceProcess Self(std::u16string path) const {
    DeviceProcess process = self_;
    process.path = std::move(path);
    return process;
  }
  std::string Row(pid_t pid, uint64_t startTime, const char* path) const {
    return std::to_string(pid) + " " + std::to_string(startTime) + " " + path + "\n";
  }

  fs::path state_;
  DeviceProcess self_;
};

TEST_F(ProcessTableTest, ListsOnlyRowsOfProcessesThatStillRun) {
  // Waited for but left unreaped until the end: an ended process that still holds its pid.
  const pid_t zombie = Spawn("exec sleep 0.1");
  std::optional<uint64_t> zombieStart;
  while (!zombieStart) zombieStart = ProcessStartTime(zombie);
  siginfo_t ended;
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(zombie), &ended, WEXITED | WNOWAIT), 0);
  const std::string boot = "boot " + BootId() + "\n";
  const pid_t me = self_.pid;
  const uint64_t started = self_.startTime;
  struct Case {
    const char* label;
    std::string text;
    const char* listed;
  };
  const Case cases[] = {
      {"a running process", boot + Row(me, started, "\\Windows\\a.exe"), "\\Windows\\a.exe"},
      {"path with blanks and other scripts",
       boot + Row(me, started, "\\Program Files\\Grüße 世界.sh"), "\\Program Files\\Grüße 世界.sh"},
      {"pid now used by a later process", boot + Row(me, started + 1, "\\a.exe"), ""},
      {"rows of another boot", "boot 00000000-0000-0000-0000-000000000000\n" +
                                   Row(me, started, "\\a.exe"), ""},
      {"rows without a boot line", Row(me, started, "\\a.exe"), ""},
      {"an ended process not yet reaped", boot + Row(zombie, *zombieStart, "\\z.exe"), ""},
      {"lines that are no rows", boot + "x y z\n12\n-5 1 \\n.exe\n7 x \\x.exe\n" +
                                     Row(me, started, "\\ok.exe"), "\\ok.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::ofstream(state_ / "processes", std::ios::binary) << c.text;
    ProcessTable table(state_.string());
    EXPECT_EQ(Paths(table), c.listed);
    // What was dropped is gone from the file too.
    std::string kept = boot;
    if (*c.listed != 0) kept += Row(me, started, c.listed);
    EXPECT_EQ(ReadText(state_ / "processes"), kept);
  }
  EXPECT_EQ(Fate(zombie, true), "exit 0");
}

TEST_F(ProcessTableTest, AddsEachProcessOnceAndRemovesIt) {
  ProcessTable table(state_.string());
  EXPECT_EQ(Paths(table), "");
  ASSERT_EQ(table.Add(Self(u"\\Windows\\Varnisk.exe")), kSuccess);
  // The same process (pid and start time) again: still one row.
  ASSERT_EQ(table.Add(Self(u"\\Windows\\Other.exe")), kSuccess);
  EXPECT_EQ(Paths(table), "\\Windows\\Varnisk.exe");
  EXPECT_EQ(ProcessTable(state_.string()).List()->front().Name(), u"Varnisk.exe");
  ASSERT_EQ(table.Remove(self_), kSuccess);
  EXPECT_EQ(Paths(table), "");
  EXPECT_FALSE(fs::exists(state_ / "processes.new"));
}

TEST_F(ProcessTableTest, WritersOnOneDeviceLoseNoRows) {
  constexpr int kWriters = 6;
  constexpr int kRowsEach = 5;
  std::vector<pid_t> sleepers;
  for (int i = 0; i < kWriters * kRowsEach; ++i) sleepers.push_back(Spawn("exec sleep 30"));
  std::vector<DeviceProcess> rows;
  for (pid_t pid : sleepers) {
    while (!ProcessStartTime(pid)) usleep(1000);
    rows.push_back({pid, *ProcessStartTime(pid), u"\\s" + Utf8ToUtf16(std::to_string(pid))});
  }
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t writer = fork();
    if (writer == 0) {
      ProcessTable own(state_.string());  // each writer a program of its own
      for (int i = w; i < kWriters * kRowsEach; i += kWriters) {
        if (own.Add(rows[i]) != kSuccess) _exit(1);
      }
      _exit(0);
    }
    writers.push_back(writer);
  }
  for (pid_t writer : writers) EXPECT_EQ(Fate(writer, true), "exit 0");
  auto listed = ProcessTable(state_.string()).List();
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->size(), rows.size());
  for (pid_t pid : sleepers) {
    kill(pid, SIGKILL);
    Fate(pid, true);
  }
}

TEST_F(ProcessTableTest, EndsRecordedProcessesAndNothingElse) {
  enum class Recorded { kYes, kNo, kWithOtherStartTime };
  struct Case {
    const char* label;
    const char* script;
    Recorded recorded;
    Result result;
    const char* fate;
  };
  const Case cases[] = {
      {"recorded process ends at SIGTERM", "exec sleep 30", Recorded::kYes, kSuccess,
       "signal 15"},
      {"one that ignores SIGTERM gets SIGKILL", "trap '' TERM; exec sleep 30", Recorded::kYes,
       kSuccess, "signal 9"},
      {"a host process the shell did not start", "exec sleep 30", Recorded::kNo,
       kErrorInvalidParameter, "running"},
      {"a recorded pid now held by a later process", "exec sleep 30",
       Recorded::kWithOtherStartTime, kErrorInvalidParameter, "running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ProcessTable table(state_.string());
    const pid_t child = Spawn(c.script);
    while (!ProcessStartTime(child)) usleep(1000);
    // The trap must be in place before the signal comes.
    usleep(100 * 1000);
    DeviceProcess process{child, *ProcessStartTime(child), u"\\Windows\\sleep.exe"};
    if (c.recorded == Recorded::kWithOtherStartTime) {
      ASSERT_EQ(table.Add({child, process.startTime + 1, process.path}), kSuccess);
    } else if (c.recorded == Recorded::kYes) {
      ASSERT_EQ(table.Add(process), kSuccess);
    }
    EXPECT_EQ(table.End(process), c.result);
    EXPECT_EQ(Fate(child, c.result == kSuccess), c.fate);
    EXPECT_EQ(Paths(table), "");
    if (c.result != kSuccess) {
      kill(child, SIGKILL);
      Fate(child, true);
    }
  }
}

TEST(ProcessStartTimeTest, TellsRunningProcessesFromOthers) {
  EXPECT_TRUE(ProcessStartTime(getpid()));
  EXPECT_FALSE(ProcessStartTime(0));
  EXPECT_FALSE(ProcessStartTime(-1));
  EXPECT_FALSE(ProcessStartTime(0x3FFFFFFF));  // above any pid the kernel gives
}

}  // namespace
}  // namespace varnisk::platform
