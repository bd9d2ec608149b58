// Files through the program: FILE, LINK, ASOC and the default command on a temporary
// device, read back from the device folder and with --reg-export; and the rule that no
// script line reaches a host file outside the device.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  FilesTest() {
    EXPECT_EQ(Run("EVAL x=0").status, 0);  // makes the device
  }
  ProgramRun Run(const std::string& line) {
    return RunVarnisk({"--device", device(), "--ui", "none", "--log", "-", "--", line});
  }
  std::string device() const { return temp_.path() + "/dev"; }
  // Host path of a device path written with "/".
  std::string Host(const std::string& path) const { return "dev/files/" + path; }
  std::string Listing(const std::string& folder) const {
    std::vector<std::string> names;
    const fs::path root = fs::path(temp_.path()) / Host(folder);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      names.push_back(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
  }

  TempFolder temp_;
};

TEST_F(FilesTest, TextFilesHoldExactlyTheirBytes) {
  struct Case {
    const char* name;
    const char* line;
    std::string bytes;
  } cases[] = {
      {"ANSI code page 936", "FILE \\Temp\\a.txt<x中文%R%N", "\xD6\xD0\xCE\xC4\r\n"},
      {"UTF-16", "FILE \\Temp\\a.txt{x中A", "\x2D\x4E" "A\0"s},
      {"append", "FILE \\Temp\\a.txt<=more", "\xD6\xD0\xCE\xC4\r\nmore"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "append") Run("FILE \\Temp\\a.txt<x中文%R%N");
    EXPECT_EQ(Run(c.line).status, 0);
    EXPECT_EQ(temp_.Read(Host("Temp/a.txt")), c.bytes);
  }
}

TEST_F(FilesTest, ShortcutFilesHoldExactlyTheirBytes) {
  EXPECT_EQ(Run("LINK \\Windows\\Start Menu\\Calc.lnk,\\Windows\\calc.exe").status, 0);
  EXPECT_EQ(temp_.Read(Host("Windows/Start Menu/Calc.lnk")), "17#\\Windows\\calc.exe");
  // The count is of UTF-16 units; the file holds the code page's bytes.
  EXPECT_EQ(Run("LINK \\Windows\\Start Menu\\新\\程序.lnk,\\Program Files\\程序.exe,-q").status, 0);
  EXPECT_EQ(temp_.Read(Host("Windows/Start Menu/新/程序.lnk")),
            "26#\"\\Program Files\\\xB3\xCC\xD0\xF2.exe\" -q");
  EXPECT_EQ(Run("LINK \\Temp\\none.lnk").status, 3);
}

TEST_F(FilesTest, CopiesDeletesAndFolders) {
  temp_.Write(Host("A/x.txt"), "x");
  temp_.Write(Host("A/y.TXT"), "y");
  temp_.Write(Host("A/sub/z.txt"), "z");
  temp_.Write(Host("A/.cache/c.txt"), "c");
  temp_.Write(Host("B/locked.txt"), "old");
  chmod((temp_.path() + "/" + Host("B/locked.txt")).c_str(), 0444);

  EXPECT_EQ(Run("FILE !\\A\\*.txt>\\C\\").status, 2);  // the last entry, y.TXT, is passed over
  EXPECT_EQ(Listing("C"), "sub/ sub/z.txt x.txt");
  EXPECT_EQ(Run("FILE \\a\\X.TXT>\\b\\LOCKED.txt").status, 0);
  EXPECT_EQ(temp_.Read(Host("B/locked.txt")), "x");
  EXPECT_EQ(Run("FILE \\C\\x.txt;\\C\\sub").status, 0);
  EXPECT_EQ(Listing("C"), "");
  EXPECT_EQ(Run("FILE \\N\\E\\W\\").status, 0);
  EXPECT_TRUE(temp_.Exists(Host("N/E/W")));
}

// Links planted on the host that lead back up the tree would make a tree walk endless:
// they are walked as files, so the copy and the default command end.
TEST_F(FilesTest, TreeWalksEndThroughLinksBackUpTheTree) {
  temp_.Write(Host("A/sub/z.txt"), "z");
  for (const char* name : {"A/sub/up", "A/sub/again", "A/self"}) {
    fs::create_symlink(std::string(name) == "A/self" ? "." : "..",
                       fs::path(temp_.path()) / Host(name));
  }
  Run("FILE !\\A\\*>\\B\\");
  EXPECT_EQ(Listing("B"), "sub/ sub/z.txt");
  EXPECT_EQ(Run("!\\A\\*.none").status, 2);
}

TEST_F(FilesTest, TheDefaultCommandRunsFilesByTypeAndStartsPrograms) {
  temp_.Write(Host("Scripts/one.vks"), "EVAL 1=%1one\n");
  temp_.Write(Host("Scripts/two.vks"), "EVAL 1=%1two\nEVAL 2=%1\n");
  const ProgramRun run = Run("BATC \\Scripts\\*.vks;EVAL 3=%2");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("EVAL 2=onetwo"), std::string::npos) << run.err;

  // A host program stored on the device starts with its parameters.
  const std::string marker = temp_.path() + "/started";
  temp_.Write(Host("Programs/tool"), "#!/bin/sh\necho \"$@\" > " + marker + "\n");
  chmod((temp_.path() + "/" + Host("Programs/tool")).c_str(), 0755);
  EXPECT_EQ(Run("\\Programs\\tool,-a%,b \"c d\"").status, 0);
  for (int i = 0; i < 100 && !temp_.Exists("started"); ++i) usleep(20000);
  EXPECT_EQ(temp_.Read("started"), "-a,b c d\n");
  // A file that nothing opens.
  temp_.Write(Host("data.unknown"), "?");
  EXPECT_EQ(Run("\\data.unknown").status, 255);  // 1155, no association
}

TEST_F(FilesTest, DocumentsOpenThroughTheirAssociationInTheRegistry) {
  const std::string marker = temp_.path() + "/opened";
  temp_.Write(Host("Programs/runner"), "#!/bin/sh\nprintf '%s\\n' \"$*\" > " + marker + "\n");
  chmod((temp_.path() + "/" + Host("Programs/runner")).c_str(), 0755);
  temp_.Write(Host("My Documents/task.job"), "work");
  temp_.Write("card/assoc.reg",
              "REGEDIT4\n[HKCR\\.job]\n@=\"jobfile\"\n"
              "[HKCR\\jobfile\\Shell\\Open\\Command]\n@=\"\\\\Programs\\\\runner -x \\\"%1\\\"\"\n");
  ASSERT_EQ(RunVarnisk({"--device", device(), "--card", temp_.path() + "/card",
                        "LOAD \\Storage Card\\assoc.reg"}).status, 0);
  EXPECT_EQ(Run("\\My Documents\\*.job").status, 0);
  for (int i = 0; i < 100 && !temp_.Exists("opened"); ++i) usleep(20000);
  EXPECT_EQ(temp_.Read("opened"), "-x \\My Documents\\task.job\n");
}

TEST_F(FilesTest, AsocWritesTheClassKeys) {
  EXPECT_EQ(Run("ASOC .vks").status, 0);
  const ProgramRun exported = RunVarnisk({"--device", device(), "--reg-export", "HKCR"});
  EXPECT_EQ(exported.out,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CLASSES_ROOT\\.vks]\n@=\"Varnisk\"\n\n"
            "[HKEY_CLASSES_ROOT\\Varnisk]\n@=\"Varnisk\"\n\n"
            "[HKEY_CLASSES_ROOT\\Varnisk\\DefaultIcon]\n@=\"\\\\Windows\\\\Varnisk.exe,-101\"\n\n"
            "[HKEY_CLASSES_ROOT\\Varnisk\\Shell]\n\n"
            "[HKEY_CLASSES_ROOT\\Varnisk\\Shell\\Open]\n\n"
            "[HKEY_CLASSES_ROOT\\Varnisk\\Shell\\Open\\Command]\n"
            "@=\"\\\"\\\\Windows\\\\Varnisk.exe\\\" %1\"\n\n");
  EXPECT_EQ(Run("BATC ASOC !;ASOC !.vks").status, 0);
  EXPECT_EQ(RunVarnisk({"--device", device(), "--reg-export", "HKCR"}).out,
            "Windows Registry Editor Version 5.00\n\n");
}

TEST_F(FilesTest, NoScriptLineReachesAHostFileOutsideTheDevice) {
  // A sentinel beside the device, and links inside the device that point out of it.
  temp_.Write("outside/secret.txt", "secret");
  const std::string outside = temp_.path() + "/outside";
  const std::string files = temp_.path() + "/dev/files";
  fs::create_directory_symlink(outside, files + "/absolute");
  fs::create_directory_symlink("../../outside", files + "/relative");
  fs::create_symlink(outside + "/secret.txt", files + "/secret.lnk");
  const char* lines[] = {
      "FILE \\..\\..\\outside\\secret.txt<xchanged",
      "FILE \\absolute\\secret.txt<xchanged",
      "FILE \\relative\\secret.txt{xchanged",
      "FILE \\secret.lnk<=changed",
      "FILE \\absolute\\secret.txt",
      "FILE \\relative\\*",
      "FILE \\..\\..\\outside",
      "FILE \\Windows\\Varnisk.htm>\\absolute\\secret.txt",
      "FILE !\\Windows\\*>\\relative\\",
      "LINK \\absolute\\secret.txt,x",
      "FILE \\absolute\\new\\",
      "FILE /etc/hostname>\\copy.txt",
      "LOAD \\relative\\secret.txt",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Run(line);
    EXPECT_EQ(temp_.Read("outside/secret.txt"), "secret");
    EXPECT_EQ(Listing("../../outside"), "secret.txt");
  }
  // Reading out through a link finds nothing to copy.
  EXPECT_EQ(Run("FILE \\absolute\\secret.txt>\\stolen.txt").status, 2);
  EXPECT_FALSE(temp_.Exists(Host("stolen.txt")));
}

}  // namespace
}  // namespace varnisk::testing
