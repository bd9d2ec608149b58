#include "engine/script_runner.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::engine {
namespace {

TEST(RunScriptTest, TheRunsResultIsTheLastCommandLines) {
  struct Case {
    const char* name;
    const char* script;
    Result expected;
  } cases[] = {
      {"one line without break", "EVAL x=7", 7},
      {"final line break keeps the last result", "EVAL x=7\n", 7},
      {"comments and blank lines keep it", "EVAL x=7\r\n; comment\r\n  \t\r\n\t;x\r\n", 7},
      {"lines ended by CR alone", "EVAL x=1\rEVAL x=2\r", 2},
      {"lines ended by LF alone", "EVAL x=1\nEVAL x=3", 3},
      {"empty text", "", 0},
      {"a line without keyword goes to the default command", "EVAL x=1\n\\a.vks", kErrorFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    EXPECT_EQ(fake.Run(c.script), c.expected);
  }
}

TEST(RunScriptTest, AssemblesCommasAndPercentSequences) {
  FakeApp fake;
  fake.SetVariable(2, u"two,2");
  fake.device.clock.now = {2026, 1, 5, 1, 9, 5, 7, 0};
  struct Case {
    const char* line;
    std::u16string slot1;
  } cases[] = {
      {"EVAL 1=a,b", u"a\x01" u"b"},
      {"EVAL 1=a%,b", u"a,b"},
      {"EVAL 1=100%%", u"100%"},
      {"EVAL 1=%q%;", u"q;"},
      {"EVAL 1=[%2]", u"[two,2]"},
      {"EVAL 1=[%3]", u"[]"},
      {"EVAL 1=%#4E2D", u"\x4E2D"},
      {"EVAL 1=%#002C", u","},
      {"EVAL 1=%#zz41", u"\x0041"},
      {"EVAL 1=%C|%E", u"\\Windows|\\Windows\\Varnisk.exe"},
      {"EVAL 1=%W %Y %A %F", u"\\Windows \\My Documents \\Application Data \\Program Files"},
      {"EVAL 1=%M|%P|%S|%V", u"\\Windows\\Start Menu|\\Windows\\Start Menu\\Programs|"
                             u"\\Windows\\StartUp|\\Windows\\Favorites"},
      {"EVAL 1=%D %T", u"2026/1/5 9:05:07"},
      {"EVAL 1=%N%R", u"\n\r"},
      {"EVAL 1=%", u""},
      {"EVAL 1=%#4E", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fake.Run(c.line);
    EXPECT_EQ(std::u16string(fake.app.variables[1].data()), c.slot1);
  }
}

TEST(RunScriptTest, FolderSequencesCreateTheirFolders) {
  FakeApp fake;
  fake.Run("EVAL 1=%P");
  EXPECT_TRUE(fake.device.files.GetAttributes(u"\\Windows\\Start Menu\\Programs"));
}

TEST(RunScriptTest, LastResultSequences) {
  struct Case {
    const char* script;
    const char* slot1;
  } cases[] = {
      {"EVAL x=0\nEVAL 1=%X %x", "0 0"},
      {"EVAL x=0x80070057\nEVAL 1=%X %x", "0X80070057 -2147024809"},
      {"EVAL x=42\nEVAL 1=%X", "0X2A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    FakeApp fake;
    fake.Run(c.script);
    EXPECT_EQ(fake.Variable(1), c.slot1);
  }
}

TEST(RunScriptTest, HashSequenceConsumesTheLineBreakAfterIt) {
  FakeApp fake;
  // "%#41" followed by CR LF: the unit 0x4100, and the next line joins this one.
  EXPECT_EQ(fake.Run("EVAL 1=%#41\r\nx"), kSuccess);
  EXPECT_EQ(std::u16string(fake.app.variables[1].data()), u"\x4100x");
}

TEST(RunScriptTest, ALineLongerThanTheBufferIsCut) {
  FakeApp fake;
  std::string script = "EVAL 1=" + std::string(5000, 'a') + "\nEVAL 2=%1";
  fake.Run(script);
  EXPECT_EQ(fake.Variable(1), std::string(259, 'a'));
  std::string expanded = "EVAL 3=";
  for (int i = 0; i < 20; ++i) expanded += "%1";
  fake.Run(expanded);  // expansions alone overflow the buffer too
  EXPECT_EQ(fake.Variable(3), std::string(259, 'a'));
}

TEST(RunScriptTest, LogsCommandLinesWithTheirResults) {
  FakeApp fake;
  const std::string log = fake.RunLogged(
      "  EVAL x=42\n; comment\n\nEVAL 1=a,b\nEVAL x=0x80070057\nEVAL x=1001");
  EXPECT_EQ(log,
            "EVAL x=42\n     0000002A \n\n"
            "EVAL 1=a\x01" "b\n     00000000 The operation completed successfully.\n\n"
            "EVAL x=0x80070057\n     80070057 One or more arguments are not valid.\n\n"
            "EVAL x=1001\n     000003E9 Scripts are nested too deeply.\n\n");
}

TEST(RunScriptTest, NestedRunsLogBetweenTheirLineAndItsResult) {
  FakeApp fake;
  const std::string log = fake.RunLogged("CALL p\nENDP\nPROC p\nEVAL x=42\nENDP p\n");
  EXPECT_EQ(log,
            "CALL p\n"
            "EVAL x=42\n     0000002A \n\n"
            "ENDP p\n     00000000 The operation completed successfully.\n\n"
            "     00000000 The operation completed successfully.\n\n"
            "ENDP\n     00000000 The operation completed successfully.\n\n");
}

TEST(RunScriptTest, XmlBlocksGoToTheConfigurationManagerUnexpanded) {
  struct Case {
    const char* name;
    const char* script;
    std::u16string document;
    Result expected;  // the run's result: the manager's, or a later line's
  } cases[] = {
      {"block ended by <>", "  <wap-provisioningdoc>\n<a b=\"%1,2\"/>\n</wap-provisioningdoc>\n<> rest\nEVAL x=3",
       u"  <wap-provisioningdoc>\n<a b=\"%1,2\"/>\n</wap-provisioningdoc>\n", 3},
      {"<> on the first line does not end it", "<a/><>\nb\n<>\n", u"<a/><>\nb\n", 0x80004005},
      {"no <>: the rest is the document", "<a>\nEVAL x=3\n", u"<a>\nEVAL x=3\n", 0x80004005},
      {"a one-line document at the end", "EVAL x=1\n<a/>", u"<a/>", 0x80004005},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    fake.device.configManager.result = kEFail;
    EXPECT_EQ(fake.Run(c.script), c.expected);
    ASSERT_EQ(fake.device.configManager.documents.size(), 1u);
    EXPECT_EQ(fake.device.configManager.documents[0], c.document);
  }
}

TEST(RunScriptTest, ALineThatBeginsWithABracketOnlyThroughAVariableIsACommand) {
  FakeApp fake;
  fake.SetVariable(1, u"[HKLM\\x]");
  // Run as a command line (a path for the default command), so the run cannot hang.
  EXPECT_EQ(fake.RunLogged("%1\nEVAL x=42"),
            "[HKLM\\x]\n     00000002 The file cannot be found.\n\n"
            "EVAL x=42\n     0000002A \n\n");
}

TEST(RunScriptTest, RunsNestTooDeepAreRefused) {
  FakeApp fake;
  fake.device.files.WriteFile(u"\\self.vks", "LOAD \\self.vks");
  EXPECT_EQ(fake.Run("LOAD \\self.vks"), kErrorStackOverflow);
  EXPECT_EQ(fake.app.runDepth, 0);
}

}  // namespace
}  // namespace varnisk::engine
