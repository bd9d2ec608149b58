// The host shell on a temporary device: programs stored on the device run as host
// processes with the parameters split as the device splits them, documents open through
// the registry's associations, this program starts on the same device, and everything
// started shows in the device's process table exactly while it runs.

#include "platform/host_shell.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/fake_registry.h"
#include "platform/host_file_system.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits up to five seconds for done to hold.
template <class Condition>
bool Eventually(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(20 * 1000);
  }
  return true;
}

// The registry bytes of a string value.
std::string Sz(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes + std::string(2, '\0');
}

void SetDefault(RegistryStore& registry, std::u16string_view key, std::u16string_view text) {
  auto handle = registry.CreateKey(RootKey::kClassesRoot, key);
  ASSERT_TRUE(handle);
  ASSERT_EQ(registry.SetValue(*handle, u"", kRegSz, Sz(text)), kSuccess);
  registry.CloseKey(*handle);
}

// Ties the extension to a class whose open command is command.
void Associate(RegistryStore& registry, std::u16string_view extension,
               std::u16string_view className, std::u16string_view command) {
  SetDefault(registry, extension, className);
  SetDefault(registry, std::u16string(className) + u"\\Shell\\Open\\Command", command);
}

class HostShellTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-shell-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = fs::canonical(pattern);
    device_ = root_ / "dev";
    for (const char* folder : {"files/Windows", "files/Program Files", "files/Docs", "state"}) {
      fs::create_directories(device_ / folder);
    }
    fs::create_directories(root_ / "out");
    // Stands in for this program: records how it was started.
    WriteHostFile(root_ / "varnisk.sh", Recorder("varnisk"), 0755);
    auto files = HostFileSystem::Open((device_ / "files").string(), "");
    ASSERT_TRUE(files) << files.error();
    files_ = std::move(*files);
    shell_ = std::make_unique<HostShell>(*files_, registry_, device_.string(),
                                         (root_ / "varnisk.sh").string());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  static void WriteHostFile(const fs::path& path, std::string_view bytes, mode_t mode) {
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), mode);
  }
  // A file of the device, given by its path below the device's root with "/".
  void WriteDeviceFile(const std::string& path, std::string_view bytes, mode_t mode = 0644) {
    WriteHostFile(device_ / "files" / path, bytes, mode);
  }

  // A script that writes its arguments as "[a][b]" on one line to out/<name>, and its
  // working folder and VARNISK_DEVICE on the next.
  std::string Recorder(const std::string& name) const {
    return "#!/bin/sh\n"
           "{ for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo;\n"
           "  echo \"cwd=$(pwd -P) device=$VARNISK_DEVICE\"; } > '" +
           (root_ / "out" / name).string() + "'\n";
  }
  // The first line a recorder wrote, "missing" when it never ran.
  std::string Recorded(const std::string& name) const {
    if (!fs::exists(root_ / "out" / name)) return "missing";
    const std::string text = ReadText(root_ / "out" / name);
    return text.substr(0, text.find('\n'));
  }
  std::string Out(const std::string& name) const { return (root_ / "out" / name).string(); }

  std::string Listing() {
    auto rows = shell_->Processes().List();
    if (!rows) return "error " + std::to_string(rows.error());
    std::string out;
    for (const DeviceProcess& row : *rows) out += (out.empty() ? "" : " ") + Utf16ToUtf8(row.path);
    return out;
  }

  fs::path root_;
  fs::path device_;
  std::unique_ptr<HostFileSystem> files_;
  FakeRegistry registry_;
  std::unique_ptr<HostShell> shell_;
};

TEST_F(HostShellTest, ScriptOnTheDeviceGetsItsParametersSplit) {
  WriteDeviceFile("Program Files/args.sh", Recorder("args"), 0755);
  struct Case {
    const char* label;
    std::u16string_view parameters;
    const char* arguments;
  };
  const Case cases[] = {
      {"no parameters", u"", ""},
      {"blanks separate", u" a  b\tc ", "[a][b][c]"},
      {"quotes group, backslashes escape quotes only",
       u"\"x y\" a\\\"b \\\\server\\share \"\"", "[x y][a\"b][\\\\server\\share][]"},
      {"other scripts as UTF-8", u"Grüße \"世界 x\"", "[Grüße][世界 x]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(Out("args"));
    EXPECT_EQ(shell_->Open(u"\\program files\\ARGS.sh", c.parameters, true), kSuccess);
    EXPECT_EQ(Recorded("args"), c.arguments);
  }
  // Started in the device's root folder, told which device it belongs to.
  const std::string text = ReadText(Out("args"));
  EXPECT_EQ(text.substr(text.find('\n') + 1),
            "cwd=" + (device_ / "files").string() + " device=" + device_.string() + "\n");
}

TEST_F(HostShellTest, ElfProgramRunsUnderItsOwnName) {
  WriteDeviceFile("Windows/Shell.exe", ReadText("/bin/sh"), 0755);
  // ": " keeps tr from being the shell's last command, which it would run in its place.
  const std::u16string command =
      u"-c \"tr '\\000' '|' < /proc/$$/cmdline > '" + Utf8ToUtf16(Out("cmdline")) + u"'; :\"";
  ASSERT_EQ(shell_->Open(u"\\Windows\\Shell.exe", command, true), kSuccess);
  EXPECT_EQ(ReadText(Out("cmdline")).substr(0, 13), "Shell.exe|-c|");
}

TEST_F(HostShellTest, WaitReturnsOnlyAfterTheProcessEnded) {
  WriteDeviceFile("Program Files/slow.sh", "#!/bin/sh\nsleep 0.3\necho done > '" + Out("slow") + "'\n",
                  0755);
  ASSERT_EQ(shell_->Open(u"\\Program Files\\slow.sh", u"", true), kSuccess);
  EXPECT_EQ(ReadText(Out("slow")), "done\n");
  EXPECT_EQ(Listing(), "");
}

TEST_F(HostShellTest, WithoutWaitReturnsAtOnceAndLeavesNoChild) {
  // Runs on when the test says so, and gives up after five seconds.
  WriteDeviceFile("Program Files/gated.sh",
                  "#!/bin/sh\ni=0\nwhile [ ! -e '" + Out("go") + "' ] && [ $i -lt 100 ]; do\n"
                  "  sleep 0.05; i=$((i+1))\ndone\necho done > '" + Out("gated") + "'\n",
                  0755);
  ASSERT_EQ(shell_->Open(u"\\Program Files\\gated.sh", u"", false), kSuccess);
  EXPECT_FALSE(fs::exists(Out("gated")));
  EXPECT_EQ(Listing(), "\\Program Files\\gated.sh");
  // No process of the shell is left for this program to reap.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  WriteHostFile(Out("go"), "", 0644);
  EXPECT_TRUE(Eventually([&] { return ReadText(Out("gated")) == "done\n"; }));
  EXPECT_TRUE(Eventually([&] { return Listing().empty(); }));
}

TEST_F(HostShellTest, RefusesWhatItCannotStart) {
  const std::string elf = ReadText("/bin/sh");
  WriteDeviceFile("Docs/noexec.sh", Recorder("noexec.sh"), 0644);
  WriteDeviceFile("Docs/noexec.elf", elf, 0644);
  WriteDeviceFile("Docs/lost.sh", "#!/no/such/interpreter\n", 0755);
  WriteDeviceFile("Docs/broken.exe", "\x7F" "ELF and nothing a kernel could load", 0755);
  WriteDeviceFile("Docs/note.zzz", "text");
  WriteDeviceFile("Docs/README", "text");
  WriteDeviceFile("Docs/a.half", "text");
  WriteDeviceFile("Docs/a.orphan", "text");
  WriteDeviceFile("Docs/a.ping", "text");
  WriteDeviceFile("Docs/b.pong", "text");
  SetDefault(registry_, u".half", u"halfclass");  // a class without open command
  SetDefault(registry_, u".orphan", u"noclass");  // a class the registry does not hold
  Associate(registry_, u".ping", u"pingfile", u"\"\\Docs\\b.pong\" %1");
  Associate(registry_, u".pong", u"pongfile", u"\"\\Docs\\a.ping\" %1");
  struct Case {
    const char* label;
    std::u16string_view path;
    Result result;
  };
  const Case cases[] = {
      {"missing file", u"\\Docs\\none.exe", kErrorFileNotFound},
      {"missing folder", u"\\None\\a.exe", kErrorPathNotFound},
      {"this program gone from the device", u"\\Windows\\Varnisk.exe", kErrorFileNotFound},
      {"invalid name", u"\\Docs\\a|b.exe", kErrorInvalidName},
      {"script without run bit", u"\\Docs\\noexec.sh", kErrorAccessDenied},
      {"ELF file without run bit", u"\\Docs\\noexec.elf", kErrorAccessDenied},
      {"script whose interpreter is missing", u"\\Docs\\lost.sh", kErrorFileNotFound},
      {"ELF file the kernel cannot load", u"\\Docs\\broken.exe", 193},
      {"document without association", u"\\Docs\\note.zzz", kErrorNoAssociation},
      {"file without extension", u"\\Docs\\README", kErrorNoAssociation},
      {"class without open command", u"\\Docs\\a.half", kErrorNoAssociation},
      {"extension naming no class", u"\\Docs\\a.orphan", kErrorNoAssociation},
      {"association loop", u"\\Docs\\a.ping", kErrorNoAssociation},
      {"folder", u"\\Docs", kErrorNoAssociation},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(shell_->Open(c.path, u"x", true), c.result);
  }
  EXPECT_EQ(Recorded("noexec.sh"), "missing");
  EXPECT_EQ(Recorded("varnisk"), "missing");
  EXPECT_EQ(Listing(), "");
}

TEST_F(HostShellTest, DocumentOpensWithTheProgramOfItsAssociation) {
  WriteDeviceFile("Program Files/args.sh", Recorder("args"), 0755);
  WriteDeviceFile("Windows/viewer.sh", Recorder("args"), 0755);
  WriteDeviceFile("Docs/My Note.txt", "text");
  WriteDeviceFile("Docs/tool.via", "text");
  struct Case {
    const char* label;
    std::u16string_view extension;
    std::u16string_view command;
    const char* arguments;
  };
  const Case cases[] = {
      {"%1 in quotes", u".txt", u"\"\\Program Files\\args.sh\" -v \"%1\"",
       "[-v][\\Docs\\My Note.txt]"},
      {"%1 twice", u".txt", u"\"\\Program Files\\args.sh\" \"%1\" \"%1\"",
       "[\\Docs\\My Note.txt][\\Docs\\My Note.txt]"},
      {"no %1: the path appended", u".txt", u"\"\\Program Files\\args.sh\" -v",
       "[-v][\\Docs\\My Note.txt]"},
      {"bare program name found in \\Windows", u".txt", u"viewer.sh \"%1\"",
       "[\\Docs\\My Note.txt]"},
      {"extension key in another case, %1 without quotes", u".TXT",
       u"\\Temp\\..\\Windows\\viewer.sh %1", "[\\Docs\\My][Note.txt]"},
      {"program that is a document itself", u".txt", u"\"\\Docs\\tool.via\" \"%1\"",
       "[via][\\Docs\\tool.via]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FakeRegistry registry;
    Associate(registry, c.extension, u"txtfile", c.command);
    Associate(registry, u".via", u"viafile", u"\"\\Program Files\\args.sh\" via \"%1\"");
    HostShell shell(*files_, registry, device_.string(), (root_ / "varnisk.sh").string());
    fs::remove(Out("args"));
    // A document's own parameters go nowhere: the open command says what is passed.
    EXPECT_EQ(shell.Open(u"\\Docs\\My Note.txt", u"ignored", true), kSuccess);
    EXPECT_EQ(Recorded("args"), c.arguments);
  }
}

TEST_F(HostShellTest, ThisProgramStartsOnTheSameDevice) {
  WriteDeviceFile("Windows/Varnisk.exe", "");
  WriteDeviceFile("Docs/setup.vks", "MSGX Hi");
  // What ASOC writes.
  Associate(registry_, u".vks", u"Varnisk", u"\"\\Windows\\Varnisk.exe\" %1");
  const std::string options = "[--device][" + device_.string() + "]";
  struct Case {
    const char* label;
    std::u16string_view path;
    std::u16string_view parameters;
    std::string arguments;
  };
  const Case cases[] = {
      {"a script line, as one argument", u"\\windows\\..\\WINDOWS\\varnisk.EXE",
       u"MSGX Hi, \"there\"", options + "[--][MSGX Hi, \"there\"]"},
      {"no command line", u"\\Windows\\Varnisk.exe", u"", options},
      {"a script opened through its association", u"\\Docs\\setup.vks", u"",
       options + "[--][\\Docs\\setup.vks]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(Out("varnisk"));
    EXPECT_EQ(shell_->Open(c.path, c.parameters, true), kSuccess);
    EXPECT_EQ(Recorded("varnisk"), c.arguments);
  }
  // The options this program passes on come before the command line.
  HostShell passing(*files_, registry_, device_.string(), (root_ / "varnisk.sh").string(),
                    {"--ui", "none"});
  ASSERT_EQ(passing.Open(u"\\Windows\\Varnisk.exe", u"VKUI", true), kSuccess);
  EXPECT_EQ(Recorded("varnisk"), options + "[--ui][none][--][VKUI]");
}

TEST_F(HostShellTest, ProcessTableShowsAProcessWhileItRuns) {
  WriteDeviceFile("Program Files/lister.sh",
                  "#!/bin/sh\ncat \"$VARNISK_DEVICE/state/processes\" > '" + Out("table") + "'\n",
                  0755);
  WriteDeviceFile("Program Files/Sleeper.sh", "#!/bin/sh\nexec sleep 30\n", 0755);
  WriteDeviceFile("Program Files/Brief.sh", "#!/bin/sh\nexec sleep 0.5\n", 0755);

  // Recorded before the program runs, gone once a waited-for one ended.
  ASSERT_EQ(shell_->Open(u"\\Program Files\\lister.sh", u"", true), kSuccess);
  EXPECT_NE(ReadText(Out("table")).find(" \\Program Files\\lister.sh\n"), std::string::npos);
  EXPECT_EQ(Listing(), "");

  ASSERT_EQ(shell_->Open(u"\\Program Files\\Brief.sh", u"", false), kSuccess);
  ASSERT_EQ(shell_->Open(u"\\Program Files\\Sleeper.sh", u"", false), kSuccess);
  EXPECT_EQ(Listing(), "\\Program Files\\Brief.sh \\Program Files\\Sleeper.sh");
  EXPECT_TRUE(Eventually([&] { return Listing() == "\\Program Files\\Sleeper.sh"; }));

  const DeviceProcess sleeper = shell_->Processes().List()->front();
  EXPECT_EQ(sleeper.Name(), u"Sleeper.sh");
  EXPECT_NE(ReadText("/proc/" + std::to_string(sleeper.pid) + "/cmdline").find("sleep"),
            std::string::npos);
  EXPECT_EQ(shell_->Processes().End(sleeper), kSuccess);
  EXPECT_FALSE(ProcessStartTime(sleeper.pid));
  EXPECT_EQ(Listing(), "");
  EXPECT_EQ(shell_->Processes().End(sleeper), kErrorInvalidParameter);
}

TEST_F(HostShellTest, TheDevicesProcessesAreWhatItStartedAndThisProgram) {
  WriteDeviceFile("Program Files/Sleeper.sh", "#!/bin/sh\nexec sleep 30\n", 0755);
  ASSERT_EQ(shell_->Open(u"\\Program Files\\Sleeper.sh", u"", false), kSuccess);
  auto listed = shell_->ListProcesses();
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 2u);
  const ProcessEntry sleeper = (*listed)[0];
  const ProcessEntry self = (*listed)[1];
  EXPECT_EQ(sleeper.exeFile, u"Sleeper.sh");
  EXPECT_FALSE(sleeper.thisProgram);
  EXPECT_EQ(self.exeFile, u"Varnisk.exe");
  EXPECT_TRUE(self.thisProgram);
  EXPECT_EQ(self.id, static_cast<uint32_t>(getpid()));

  // An entry whose identifier belongs to another process is not that process.
  ProcessEntry impostor = sleeper;
  impostor.instance += 1;
  EXPECT_EQ(shell_->EndProcess(impostor), kErrorInvalidParameter);
  EXPECT_TRUE(ProcessStartTime(static_cast<pid_t>(sleeper.id)));
  // Nor is any host process the shell did not start, such as the test's parent.
  ProcessEntry parent{static_cast<uint32_t>(getppid()),
                      ProcessStartTime(getppid()).value_or(0), u"sh", false};
  EXPECT_EQ(shell_->EndProcess(parent), kErrorInvalidParameter);

  EXPECT_EQ(shell_->EndProcess(sleeper), kSuccess);
  EXPECT_FALSE(ProcessStartTime(static_cast<pid_t>(sleeper.id)));
  listed = shell_->ListProcesses();
  ASSERT_TRUE(listed);
  EXPECT_EQ(*listed, std::vector<ProcessEntry>{self});
}

}  // namespace
}  // namespace varnisk::platform
