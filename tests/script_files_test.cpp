// Script files through LOAD: their encodings, the code page, the storage card and the
// limits that keep a run safe.

#include <gtest/gtest.h>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

using namespace std::string_literals;

class ScriptFilesTest : public ::testing::Test {
 protected:
  ProgramRun Run(const std::string& line, const std::vector<std::string>& options = {}) {
    std::vector<std::string> args{"--device", temp_.path() + "/dev", "--ui", "none",
                                  "--card", temp_.path() + "/card", "--log", "-"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--");
    args.push_back(line);
    return RunVarnisk(args);
  }
  void WriteCard(const std::string& name, const std::string& bytes) {
    temp_.Write("card/" + name, bytes);
  }
  // The log line that shows slot 2 after the script copied a text into it.
  static std::string Shown(const std::string& log) {
    const size_t at = log.find("EVAL 2=");
    return at == std::string::npos ? "" : log.substr(at + 7, log.find('\n', at) - at - 7);
  }

  TempFolder temp_;
};

TEST_F(ScriptFilesTest, EncodingsOfScriptFiles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> options;
    std::string shown;  // UTF-8
  } cases[] = {
      {"ANSI code page 936", "EVAL 1=\xD6\xD0\xCE\xC4\nEVAL 2=%1", {}, "中文"},
      {"UTF-8 with signature", "\xEF\xBB\xBF" "EVAL 1=中文\nEVAL 2=%1", {}, "中文"},
      {"UTF-16LE with mark", "\xFF\xFE" "E\0V\0A\0L\0 \0" "1\0=\0\x2D\x4E\n\0"
                             "E\0V\0A\0L\0 \0" "2\0=\0%\0" "1\0"s, {}, "中"},
      {"UTF-16LE without mark", "E\0V\0A\0L\0 \0" "2\0=\0\x87\x65"s, {}, "文"},
      {"code page 1252 chosen", "EVAL 1=\xE9\x80\nEVAL 2=%1", {"--codepage", "1252"}, "é€"},
      {"undefined bytes are substituted", "EVAL 1=a\x81\nEVAL 2=%1", {}, "a\xEF\xBF\xBD"},
      {"blank lines and a title before the script", "\r\n\xEF\xBB\xBF\n\t EVAL 2=ok", {}, "ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteCard("s.vks", c.bytes);
    const ProgramRun run = Run("LOAD \\Storage Card\\s.vks", c.options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Shown(run.err), c.shown) << run.err;
  }
}

TEST_F(ScriptFilesTest, LoadRunsAScriptWithItsOwnPath) {
  WriteCard("sub/Setup.vks", "EVAL 2=%C|%E\nEVAL x=7\n");
  const ProgramRun run = Run("LOAD \\STORAGE CARD\\SUB\\setup.vks");
  EXPECT_EQ(run.status, 7);
  EXPECT_EQ(Shown(run.err), "\\STORAGE CARD\\SUB|\\STORAGE CARD\\SUB\\setup.vks");
  // The script's lines are logged between the LOAD line and its result.
  EXPECT_EQ(run.err.rfind("LOAD \\STORAGE CARD\\SUB\\setup.vks\nEVAL 2=", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("EVAL x=7\n     00000007 \n\n     00000007 \n\n"), std::string::npos);
}

TEST_F(ScriptFilesTest, RegistryAndXmlFilesGoToTheirConsumers) {
  WriteCard("r.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=\"b\"\n");
  WriteCard("p.xml", "<wap-provisioningdoc><characteristic type=\"Registry\"/></wap-provisioningdoc>");
  EXPECT_EQ(Run("LOAD \\Storage Card\\r.reg").status, 0);
  EXPECT_EQ(Run("LOAD \\Storage Card\\p.xml").status, 0);
  WriteCard("lower.reg", "regedit4\nEVAL x=3");
  EXPECT_EQ(Run("LOAD \\Storage Card\\lower.reg").status, 3);
}

TEST_F(ScriptFilesTest, MissingFilesAndPathsOutsideTheDevice) {
  temp_.Write("secret.vks", "EVAL x=66");
  WriteCard("present.vks", "");
  for (const char* line : {"LOAD \\Storage Card\\missing.vks",
                           "LOAD \\..\\..\\secret.vks",
                           "LOAD \\Storage Card\\..\\..\\secret.vks",
                           "LOAD /etc/passwd"}) {
    SCOPED_TRACE(line);
    const ProgramRun run = Run(line);
    EXPECT_EQ(run.status, 110) << run.err;
  }
}

TEST_F(ScriptFilesTest, AScriptThatLoadsItselfStopsAtTheNestingLimit) {
  WriteCard("self.vks", "LOAD \\Storage Card\\self.vks\n");
  const ProgramRun run = Run("LOAD \\Storage Card\\self.vks");
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.err.find("     000003E9 Scripts are nested too deeply."), std::string::npos);
}

TEST_F(ScriptFilesTest, ASingleHostFileRunsFromTheStorageCard) {
  temp_.Write("here/go.vks", "EVAL x=5");
  const ProgramRun run = RunVarnisk({"--device", temp_.path() + "/dev", "--ui", "none",
                                     "--log", "-", temp_.path() + "/here/go.vks"});
  EXPECT_EQ(run.status, 5) << run.err;
  EXPECT_EQ(run.err.rfind("\\Storage Card\\go.vks\nEVAL x=5\n", 0), 0u) << run.err;
}

TEST_F(ScriptFilesTest, ProceduresAndSectionsInAFile) {
  WriteCard("flow.vks",
            "; a setup script\r\n"
            "EVAL 1=start\r\n"
            "IFEX %1=start\r\n"
            "  CALL add b\r\n"
            "IFEX\r\n"
            "IFEX \\Windows\\nothing.txt,EVAL 1=%1-never\r\n"
            "ELSE CALL add c\r\n"
            "EVAL 2=%1\r\n"
            "ENDP\r\n"
            "PROC add b\r\n"
            "EVAL 1=%1-b\r\n"
            "ENDP add b\r\n"
            "PROC add c\r\n"
            "EVAL 1=%1-c\r\n"
            "ENDP add c\r\n");
  const ProgramRun run = Run("LOAD \\Storage Card\\flow.vks");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Shown(run.err), "start-b-c");
}

}  // namespace
}  // namespace varnisk::testing
