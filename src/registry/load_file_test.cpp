#include "registry/load_file.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::registry {
namespace {

using engine::FakeApp;

TEST(LoadFileTest, ChoosesTheConsumerByContent) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string bytes;
    Result result;
    size_t documents;  // handed to the configuration manager
  } cases[] = {
      {"script", "EVAL x=5\n", 5, 0},
      {"empty file runs an empty script", "", 0, 0},
      {"XML, even malformed", "\r\n  <wap-provisioningdoc", kEFail, 1},
      {"XML after a byte-order mark in UTF-8", "\xEF\xBB\xBF<a/>", kEFail, 1},
      {"registry header", "\n\nREGEDIT4\n[HKLM\\x]", 0, 0},
      {"registry header version 5", "Windows Registry Editor Version 5.00\r\n", 0, 0},
      {"header without a line break", "REGEDIT4", 0, 0},
      {"registry body that makes no sense", "REGEDIT4\nx", kErrorNotRegistryFile, 0},
      {"lower-case header is a script", "regedit4\nEVAL x=3", 3, 0},
      {"Chinese title before the script", "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87 EVAL x=4", 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    fake.device.configManager.result = kEFail;
    fake.device.files.WriteFile(u"\\f.vks", c.bytes);
    EXPECT_EQ(LoadFile(fake.app, u"\\f.vks"), c.result);
    EXPECT_EQ(fake.device.configManager.documents.size(), c.documents);
  }
}

TEST(LoadFileTest, TheConfigurationManagerGetsTheTextFromItsFirstTag) {
  FakeApp fake;
  fake.device.files.WriteFile(u"\\a.xml", "\n <a>\n<b/>\n</a>\n");
  EXPECT_EQ(LoadFile(fake.app, u"\\a.xml"), kSuccess);
  ASSERT_EQ(fake.device.configManager.documents.size(), 1u);
  EXPECT_EQ(fake.device.configManager.documents[0], u"<a>\n<b/>\n</a>\n");
}

TEST(LoadFileTest, AMissingFileGivesOpenFailed) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("LOAD \\missing.vks"), kErrorOpenFailed);
  // The whole rest of the line is the path, separators included.
  fake.device.files.WriteFile(u"\\a.vks", "EVAL x=1");
  EXPECT_EQ(fake.Run("LOAD \\a.vks,x"), kErrorOpenFailed);
  EXPECT_EQ(fake.Run("load   \\A.VKS"), 1u);
  EXPECT_EQ(fake.Run("LOAD\\a.vks"), 1u);
}

TEST(LoadFileTest, AScriptRunsWithItsOwnPathAsBasePath) {
  FakeApp fake;
  fake.device.files.CreateFolder(u"\\Storage");
  fake.device.files.WriteFile(u"\\Storage\\s.vks", "EVAL 1=%C|%E");
  fake.Run("LOAD \\Storage\\s.vks\nEVAL 2=%C");
  EXPECT_EQ(fake.Variable(1), "\\Storage|\\Storage\\s.vks");
  EXPECT_EQ(fake.Variable(2), "\\Windows");
}

}  // namespace
}  // namespace varnisk::registry
