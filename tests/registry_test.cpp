// The device registry through the program: registry scripts, REGX, provisioning XML,
// --reg-export, and what a killed or concurrent program leaves behind.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

using namespace std::string_literals;

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() { temp_.Write("card/readme.txt", "the storage card"); }
  ProgramRun Run(const std::string& line) {
    return RunVarnisk({"--device", device(), "--ui", "none", "--card", temp_.path() + "/card",
                       "--log", "-", "--", line});
  }
  std::string Export(const std::string& key = "", const std::string& dev = "") {
    std::vector<std::string> args{"--device", dev.empty() ? device() : dev, "--reg-export"};
    if (!key.empty()) args.push_back(key);
    return RunVarnisk(args).out;
  }
  std::string device() const { return temp_.path() + "/dev"; }
  static std::string Body(const std::string& exported) {
    return exported.substr(exported.find("\n\n") + 2);
  }

  TempFolder temp_;
};

constexpr const char* kScript =
    "\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
    "\"Name\"=\"\xD6\xD0\xCE\xC4\"\r\n"
    "\"Count\"=dword:0000000a\r\n"
    "\"Data\"=hex:01,02,\\\r\n  ff\r\n"
    "\"List\"=hex(7):61,00,00,00,00,00\r\n"
    "@=\"default\"\r\n";

constexpr const char* kExpected =
    "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
    "@=\"default\"\n"
    "\"Count\"=dword:0000000a\n"
    "\"Data\"=hex:01,02,ff\n"
    "\"List\"=hex(7):61,00,00,00,00,00\n"
    "\"Name\"=\"中文\"\n\n";

TEST_F(RegistryTest, RegistryScriptsInTheirEncodings) {
  // The same script as ANSI (code page 936) under both headers, and as UTF-16LE.
  std::string utf16 = "\xFF\xFE"s;
  const std::string ascii = "Windows Registry Editor Version 5.00"s + kScript;
  for (char c : ascii) {
    if (static_cast<unsigned char>(c) >= 0x80) continue;
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  const std::pair<const char*, std::string> files[] = {
      {"regedit4.reg", "REGEDIT4"s + kScript},
      {"version5.reg", "Windows Registry Editor Version 5.00"s + kScript},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    temp_.Write("card/"s + name, bytes);
    const ProgramRun run = Run("LOAD \\Storage Card\\"s + name);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Body(Export("HKLM\\Software\\Test")), kExpected);
    Run("REGX HKLM\\Software\\Test\\-");
  }
  // UTF-16 (the Chinese name left out of this copy).
  temp_.Write("card/wide.reg", utf16);
  EXPECT_EQ(Run("LOAD \\Storage Card\\wide.reg").status, 0);
  EXPECT_NE(Export("HKLM\\Software\\Test").find("\"Data\"=hex:01,02,ff\n"), std::string::npos);
}

TEST_F(RegistryTest, RegxFormsThroughTheProgram) {
  const ProgramRun run = Run(
      "BATC REGX HKCU\\Software\\App\\Mode=On;REGX HKCU\\Software\\App\\#Size=0x10;"
      "REGX HKCU\\Software\\App\\@Blob=de%,ad;REGX HKCU\\Software\\App\\Mode=ON?");
  EXPECT_EQ(run.status, 1) << run.err;  // the comparison holds
  EXPECT_EQ(Body(Export("HKCU")),
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\App]\n"
            "\"Blob\"=hex:de,ad\n\"Mode\"=\"On\"\n\"Size\"=dword:00000010\n\n");
  EXPECT_EQ(Run("REGX HKCU\\Software\\App\\#Size").status, 16);
  EXPECT_EQ(Run("REGX HKCU\\Software\\App\\Nope").status, 2);
  EXPECT_EQ(Run("REGX HKCU\\App").status, 255);  // E_INVALIDARG
  EXPECT_EQ(Run("REGX HKCU\\Software\\App\\-").status, 0);
  EXPECT_EQ(Body(Export("HKCU")), "[HKEY_CURRENT_USER\\Software]\n\n");
}

TEST_F(RegistryTest, BlocksInScriptsAndProvisioningXml) {
  temp_.Write("card/setup.vks",
              "EVAL 1=x\r\n"
              "[HKLM\\Software\\Block]\r\n"
              "\"v\"=\"%1,2\"\r\n"
              "<wap-provisioningdoc>\r\n"
              "  <characteristic type=\"Registry\">\r\n"
              "    <characteristic type=\"HKLM\\Software\\Xml\">\r\n"
              "      <parm name=\"n\" value=\"7\" datatype=\"integer\"/>\r\n"
              "    </characteristic>\r\n"
              "  </characteristic>\r\n"
              "</wap-provisioningdoc>\r\n"
              "<>\r\n"
              "REGX HKLM\\Software\\Xml\\#n\r\n");
  const ProgramRun run = Run("LOAD \\Storage Card\\setup.vks");
  EXPECT_EQ(run.status, 7) << run.err;
  EXPECT_EQ(Body(Export("HKLM\\Software")),
            "[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Block]\n\"v\"=\"%1,2\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Xml]\n\"n\"=dword:00000007\n\n");
  // A malformed document changes nothing and fails.
  temp_.Write("card/bad.xml", "<wap-provisioningdoc><characteristic type=\"Registry\">");
  EXPECT_NE(Run("LOAD \\Storage Card\\bad.xml").status, 0);
}

TEST_F(RegistryTest, ExportingAndImportingGivesTheSameRegistry) {
  temp_.Write("card/all.reg",
              "REGEDIT4\n[HKCR\\.vks]\n@=\"VarniskScript\"\n[HKLM\\]\n\"Top\"=\"t\"\n"
              "[HKLM\\A\\B]\n\"q\"=\"say \\\"hi\\\" \\\\\"\n\"m\"=multi_sz:\"a\",\"b\"\n"
              "\"x\"=hex(2):25,00,41,00,00,00\n\"big\"=hex:" + Repeat("ab,", 100) +
              "\n\"tab\"=hex(1):09,00,00,00\n");
  ASSERT_EQ(Run("LOAD \\Storage Card\\all.reg").status, 0);
  const std::string exported = Export();
  temp_.Write("card/exported.reg", exported);
  const std::string other = temp_.path() + "/other";
  const ProgramRun load = RunVarnisk({"--device", other, "--card", temp_.path() + "/card",
                                      "LOAD \\Storage Card\\exported.reg"});
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(Export("", other), exported);
}

// A registry script big enough that the import takes a while.
std::string BigScript(int keys, int valuesPerKey, const std::string& root = "HKLM\\Big") {
  std::string text = "REGEDIT4\n";
  for (int k = 0; k < keys; ++k) {
    text += "[" + root + "\\Key" + std::to_string(k) + "]\n";
    for (int v = 0; v < valuesPerKey; ++v) {
      text += "\"Value" + std::to_string(v) + "\"=\"some text for value " + std::to_string(v) + "\"\n";
    }
  }
  return text;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(RegistryTest, AKilledImportLeavesAllOrNothing) {
  temp_.Write("card/big.reg", BigScript(5000, 20));
  const std::string card = temp_.path() + "/card";
  for (int delayMs : {30, 120}) {
    SCOPED_TRACE(delayMs);
    const std::string dev = temp_.path() + "/kill" + std::to_string(delayMs);
    ASSERT_EQ(RunVarnisk({"--device", dev, "EVAL x=0"}).status, 0);
    std::vector<std::string> args = {VARNISK_PROGRAM, "--device", dev, "--card", card,
                                     "--ui", "none", "LOAD \\Storage Card\\big.reg"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    const ProgramRun check = RunProgram("/usr/bin/sqlite3", {dev + "/registry.db", "PRAGMA integrity_check;"});
    EXPECT_EQ(check.out, "ok\n") << check.err;
    const int values = CountOf(Export("HKLM\\Big", dev), "\"Value");
    EXPECT_TRUE(values == 0 || values == 100000) << values;
  }
}

TEST_F(RegistryTest, TwoProgramsWritingAtOnceLoseNothing) {
  for (const char* name : {"a", "b"}) {
    std::string script;
    for (int i = 0; i < 10000; ++i) {
      script += "REGX HKLM\\Shared\\"s + name + "\\#v" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    temp_.Write("card/"s + name + ".vks", script);
  }
  ASSERT_EQ(Run("EVAL x=0").status, 0);
  std::thread first([&] { Run("LOAD \\Storage Card\\a.vks"); });
  const ProgramRun second = Run("LOAD \\Storage Card\\b.vks");
  first.join();
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(CountOf(Export("HKLM\\Shared"), "=dword:"), 20000);
}

}  // namespace
}  // namespace varnisk::testing
