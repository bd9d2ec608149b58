#include "files/shortcut.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::files {
namespace {

using engine::FakeApp;

TEST(WriteShortcutTest, TheShortcutText) {
  struct Case {
    const char* name;
    const char* line;
    std::string bytes;
  } cases[] = {
      {"plain target", "LINK \\Windows\\Start Menu\\Calc.lnk,\\Windows\\calc.exe",
       "17#\\Windows\\calc.exe"},
      {"a target with a blank is quoted", "LINK \\Temp\\a.lnk,\\Program Files\\App\\app.exe",
       "28#\"\\Program Files\\App\\app.exe\""},
      {"parameters: quoted target, blank, parameters", "LINK \\Temp\\a.lnk,\\Windows\\app.exe,-q",
       "21#\"\\Windows\\app.exe\" -q"},
      {"an icon with its index", "LINK \\Temp\\a.lnk,\\Windows\\app.exe,,\\Windows\\app.exe,-101",
       "16#\\Windows\\app.exe?\\Windows\\app.exe,-101"},
      {"an empty target", "LINK \\Temp\\a.lnk,", "0#"},
      {"an icon without target", "LINK \\Temp\\a.lnk,,,i.ico", "0#i.ico"},
      {"a folder made on the way", "LINK \\Windows\\Start Menu\\New Group\\x.lnk,\\x.exe", "6#\\x.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    fake.device.files.CreateFolder(u"\\Windows");
    fake.device.files.CreateFolder(u"\\Windows\\Start Menu");
    EXPECT_EQ(fake.Run(c.line), kSuccess);
    const std::string line = c.line;
    const std::u16string path(line.begin() + 5, line.begin() + static_cast<long>(line.find(',')));
    EXPECT_EQ(fake.app.platform.files->ReadFile(path).value_or("?"), c.bytes);
  }
}

TEST(WriteShortcutTest, NoTargetWritesNothing) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("LINK \\Temp\\a.lnk"), kErrorPathNotFound);
  EXPECT_FALSE(fake.device.files.GetAttributes(u"\\Temp").has_value());
  // An existing shortcut is replaced, not added to.
  fake.Run("LINK \\b.lnk,\\x.exe");
  fake.Run("LINK \\b.lnk,\\y.exe");
  EXPECT_EQ(fake.app.platform.files->ReadFile(u"\\b.lnk").value_or("?"), "6#\\y.exe");
}

}  // namespace
}  // namespace varnisk::files
