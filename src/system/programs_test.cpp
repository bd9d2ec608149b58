#include "system/programs.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

TEST(ExecTest, FileParametersAndWaiting) {
  struct Case {
    const char* line;
    const char* call;
  } cases[] = {
      {"EXEC \\Windows\\calc.exe", "open \\Windows\\calc.exe wait"},
      {"EXEC !\\Windows\\calc.exe", "open \\Windows\\calc.exe"},
      {"EXEC \\Windows\\app.exe,-q", "open \\Windows\\app.exe -q wait"},
      // The parameters get their commas back.
      {"EXEC \\Windows\\app.exe,-a,-b", "open \\Windows\\app.exe -a,-b wait"},
      {"EXEC !\\My Documents\\a.txt,", "open \\My Documents\\a.txt"},
      {"EXEC !!x", "open !x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    EXPECT_EQ(fake.Run(c.line), 0u);
    EXPECT_EQ(fake.device.shell.calls, std::vector<std::string>{c.call});
  }
}

TEST(ExecTest, TheShellsErrorIsTheResult) {
  FakeApp fake;
  fake.device.shell.result = kErrorFileNotFound;
  EXPECT_EQ(fake.Run("EXEC \\nofile.exe"), kErrorFileNotFound);
  fake.device.shell.result = kErrorNoAssociation;
  EXPECT_EQ(fake.Run("EXEC !\\a.xyz"), kErrorNoAssociation);
}

}  // namespace
}  // namespace varnisk::system
