// CDLL and the default command on libraries, through the program: host shared objects
// stored on the device under library names, which record their calls in a host file.

#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

std::string HostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class LibraryTest : public ::testing::Test {
 protected:
  LibraryTest() {
    EXPECT_EQ(Run("EVAL x=0").status, 0);  // makes the device
    temp_.Write("dev/files/Temp/first.dll", HostFile(VARNISK_LIBRARY_FIRST));
    temp_.Write("dev/files/Temp/second.DLL", HostFile(VARNISK_LIBRARY_SECOND));
    temp_.Write("dev/files/Temp/control.ocx", HostFile(VARNISK_LIBRARY_SECOND));
    temp_.Write("dev/files/Temp/text.dll", "no library");
  }
  ProgramRun Run(const std::string& line) {
    return RunVarnisk({"--device", temp_.path() + "/dev", "--ui", "none", "--log", "-", "--", line},
                      {"VARNISK_TEST_CALLS=" + calls()});
  }
  std::string calls() const { return temp_.path() + "/calls.txt"; }
  // The calls recorded since the last look, one a line.
  std::string Calls() {
    std::string recorded = HostFile(calls());
    unlink(calls().c_str());
    return recorded;
  }

  TempFolder temp_;
};

TEST_F(LibraryTest, FunctionsGetTheArgumentsOfTheLine) {
  const struct {
    const char* line;
    int status;
    const char* calls;
  } cases[] = {
      {"CDLL \\Temp\\first.dll", 0, "first DllRegisterServer\n"},
      {"CDLL \\Temp\\FIRST.DLL,DllRegisterServer", 0, "first DllRegisterServer\n"},
      {"CDLL \\Temp\\first.dll,Number,#16", 17, "first Number 16\n"},
      {"CDLL \\Temp\\first.dll,Number,#0x10", 17, "first Number 16\n"},
      {"CDLL \\Temp\\first.dll,NumberAndText,#16,abc", 2, "first NumberAndText 16 'abc'\n"},
      {"CDLL \\Temp\\first.dll,TwoTexts,,x", 2, "first TwoTexts '' 'x'\n"},
      {"CDLL \\Temp\\first.dll,FourTexts,a,b,c,d,e", 4, "first FourTexts 'a' 'b' 'c' 'd^e'\n"},
      {"CDLL \\Temp\\first.dll,TwoTexts,中,文", 2, "first TwoTexts '\\u4E2D' '\\u6587'\n"},
      {"\\Temp\\control.ocx", 0, "second DllRegisterServer\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Run(c.line).status, c.status);
    EXPECT_EQ(Calls(), c.calls);
  }
}

TEST_F(LibraryTest, WhatCannotBeCalledIsNoInterface) {
  // A link to a library outside the device is not followed out of it.
  ASSERT_EQ(symlink(VARNISK_LIBRARY_FIRST, (temp_.path() + "/dev/files/Temp/link.dll").c_str()), 0);
  for (const char* line : {"CDLL \\Temp\\first.dll,,#5", "CDLL \\Temp\\first.dll,Missing",
                           "CDLL \\Temp\\missing.dll", "CDLL \\Temp\\text.dll",
                           "CDLL \\Temp\\link.dll", "CDLL \\Temp"}) {
    SCOPED_TRACE(line);
    const ProgramRun run = Run(line);
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.err.find("     80004002 "), std::string::npos) << run.err;
  }
  EXPECT_EQ(Calls(), "");
}

// Each matching library is loaded, called and released in turn, the second as the first;
// the first stays in memory after its release, which must not make the second load
// answer with it.
TEST_F(LibraryTest, DefaultCommandCallsEveryMatchingLibrary) {
  EXPECT_EQ(Run("\\Temp\\*st.dll,Number,#1").status, 2);
  EXPECT_EQ(Calls(), "first Number 1\n");
  EXPECT_EQ(Run("\\Temp\\?????d.dll,Number,#1").status, 2);
  EXPECT_EQ(Calls(), "second Number 1\n");
  const ProgramRun run = Run("\\Temp\\*.dll,Number,#1");
  EXPECT_EQ(run.status, 255);  // text.dll comes last and is no library
  EXPECT_EQ(Calls(), "first Number 1\nsecond Number 1\n");
}

}  // namespace
}  // namespace varnisk::testing
