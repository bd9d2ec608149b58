#include "system/processes.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;
using platform::ProcessEntry;

std::string Joined(const std::vector<std::string>& calls) {
  std::string out;
  for (const std::string& call : calls) out += (out.empty() ? "" : ", ") + call;
  return out;
}

// This program is listed first, as a host listing may well list it.
std::vector<ProcessEntry> DeviceProcesses() {
  return {
      {100, 9, u"Varnisk.exe", true}, {1, 1, u"tmail.exe", false},
      {2, 2, u"TMail2.exe", false},   {3, 3, u"calc.exe", false},
      {4, 4, u"Varnisk.exe", false},  {5, 5, u"\u00E9t\u00E9.exe", false},
  };
}

TEST(KillTest, EndsEveryProcessWhoseNameBeginsWithTheText) {
  struct Case {
    const char* line;
    const char* ended;
    Result result;
  } cases[] = {
      {"KILL tmail", "end tmail.exe 1, end TMail2.exe 2", 0},
      {"KILL TMAIL.EXE", "end tmail.exe 1", 0},
      {"KILL calc.exe.old", "", 1},
      {"KILL notepad", "", 1},
      // Only ASCII letters fold.
      {"KILL \u00C9T\u00C9", "", 1},
      {"KILL \u00E9T", "end \u00E9t\u00E9.exe 5", 0},
      // This program ends after every other match.
      {"KILL varnisk", "end Varnisk.exe 4, end Varnisk.exe 100", 0},
      {"KILL",
       "end tmail.exe 1, end TMail2.exe 2, end calc.exe 3, end Varnisk.exe 4, "
       "end \u00E9t\u00E9.exe 5, end Varnisk.exe 100",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    fake.device.shell.processes = DeviceProcesses();
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(Joined(fake.device.shell.calls), c.ended);
  }
}

TEST(KillTest, FailsWhenNothingCouldBeEnded) {
  FakeApp unlisted;
  unlisted.device.shell.processes = DeviceProcesses();
  unlisted.device.shell.listResult = kErrorPathNotFound;
  EXPECT_EQ(unlisted.Run("KILL tmail"), 1u);
  EXPECT_TRUE(unlisted.device.shell.calls.empty());

  FakeApp refused;
  refused.device.shell.processes = DeviceProcesses();
  refused.device.shell.endResult = kErrorInvalidParameter;
  EXPECT_EQ(refused.Run("KILL tmail"), 1u);
  EXPECT_EQ(Joined(refused.device.shell.calls), "end tmail.exe 1, end TMail2.exe 2");
}

}  // namespace
}  // namespace varnisk::system
