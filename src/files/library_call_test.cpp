#include "files/library_call.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "engine/text.h"
#include "platform/utf.h"

namespace varnisk::files {
namespace {

using engine::FakeApp;
using platform::FakeLibraries;

// What the exported functions below were called with, one line a call.
std::vector<std::string> calls;

std::string Text(uintptr_t word) {
  std::string text = platform::Utf16ToUtf8(engine::TextView(reinterpret_cast<const char16_t*>(word)));
  for (char& c : text) {
    if (c == '\x01') c = '^';  // the argument separator, shown
  }
  return "'" + text + "'";
}

uint32_t Register() {
  calls.push_back("registered");
  return kEFail;
}
uint32_t NumberAndText(uintptr_t number, uintptr_t text) {
  calls.push_back(std::to_string(number) + " " + Text(text));
  return 7;
}
uint32_t TwoTexts(uintptr_t a, uintptr_t b) {
  calls.push_back(Text(a) + " " + Text(b));
  return 2;
}
uint32_t FourTexts(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d) {
  calls.push_back(Text(a) + " " + Text(b) + " " + Text(c) + " " + Text(d));
  return 4;
}
uint32_t FirstLibrary(uintptr_t number) {
  calls.push_back("first " + std::to_string(number));
  return 0;
}
uint32_t SecondLibrary(uintptr_t number) {
  calls.push_back("second " + std::to_string(number));
  return 11;
}

// The call text as the parser sees it: the function, then each argument as #number or
// 'text'.
std::string Parsed(std::string_view callText) {
  const LibraryCall call = ParseLibraryCall(platform::Utf8ToUtf16(callText));
  std::string out = platform::Utf16ToUtf8(call.function);
  for (const CallArgument& argument : call.arguments) {
    out += argument.isNumber ? " #" + std::to_string(argument.number)
                             : " '" + platform::Utf16ToUtf8(argument.text) + "'";
  }
  return out;
}

TEST(ParseLibraryCallTest, FunctionAndArguments) {
  const struct {
    const char* name;
    const char* text;  // "," stands for the argument separator
    const char* parsed;
  } cases[] = {
      {"nothing calls the registration", "", "DllRegisterServer"},
      {"a name alone", "Fn", "Fn"},
      {"decimal and text", "Fn,#16,abc", "Fn #16 'abc'"},
      {"hexadecimal", "Fn,#0x10", "Fn #16"},
      {"number with trailing text", "Fn,#12ab", "Fn #12"},
      {"bare #", "Fn,#", "Fn #0"},
      {"wraps to 32 bits", "Fn,#0x1FFFFFFFF", "Fn #4294967295"},
      {"empty arguments", "Fn,,x", "Fn '' 'x'"},
      {"trailing separator", "Fn,", "Fn ''"},
      {"empty name stays empty", ",#5", " #5"},
      {"fourth runs to the end", "Fn,a,b,c,d,e,f", "Fn 'a' 'b' 'c' 'd\x01" "e\x01" "f'"},
      {"# inside a text", "Fn,a#1", "Fn 'a#1'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    for (char& unit : text) {
      if (unit == ',') unit = '\x01';
    }
    EXPECT_EQ(Parsed(text), c.parsed);
  }
}

class LibraryCallTest : public ::testing::Test {
 protected:
  LibraryCallTest() {
    calls.clear();
    device().files.CreateFolder(u"\\Temp");
    for (const char16_t* name : {u"\\Temp\\a.dll", u"\\Temp\\b.DLL", u"\\Temp\\x.ocx",
                                 u"\\Temp\\notlib.dll"}) {
      device().files.WriteFile(name, "");
    }
    libraries().AddLibrary(u"\\Temp\\a.dll", {FakeLibraries::Export(u"Fn", FirstLibrary),
                                              FakeLibraries::Export(u"DllRegisterServer", Register)});
    libraries().AddLibrary(u"\\Temp\\b.dll", {FakeLibraries::Export(u"Fn", SecondLibrary)});
    libraries().AddLibrary(u"\\Temp\\x.ocx",
                           {FakeLibraries::Export(u"NumberAndText", NumberAndText),
                            FakeLibraries::Export(u"TwoTexts", TwoTexts),
                            FakeLibraries::Export(u"FourTexts", FourTexts)});
  }
  ~LibraryCallTest() override {
    EXPECT_EQ(libraries().librariesHeld, 0) << "a library was not released";
  }
  platform::FakePlatform& device() { return fake_.device; }
  FakeLibraries& libraries() { return fake_.device.libraries; }

  FakeApp fake_;
};

TEST_F(LibraryCallTest, CallsGetTheirArgumentsAndAnswerTheResult) {
  const struct {
    const char* line;
    Result result;
    const char* call;
  } cases[] = {
      {"CDLL \\Temp\\a.dll", kEFail, "registered"},
      {"CDLL \\Temp\\A.DLL,DllRegisterServer", kEFail, "registered"},
      {"CDLL \\Temp\\x.ocx,NumberAndText,#16,abc", 7, "16 'abc'"},
      {"CDLL \\Temp\\x.ocx,NumberAndText,#0x10,中文", 7, "16 '中文'"},
      {"CDLL \\Temp\\x.ocx,TwoTexts,,x", 2, "'' 'x'"},
      {"CDLL \\Temp\\x.ocx,FourTexts,a,b,c,d,e", 4, "'a' 'b' 'c' 'd^e'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    calls.clear();
    EXPECT_EQ(fake_.Run(c.line), c.result);
    EXPECT_EQ(calls, std::vector<std::string>{c.call});
  }
  // Loaded for each call and released after it.
  EXPECT_EQ(libraries().loads, 6);
}

TEST_F(LibraryCallTest, WhatCannotBeCalledAnswersNoInterface) {
  const struct {
    const char* line;
    const char* lookup;  // the name looked up, or "" when nothing was
  } cases[] = {
      {"CDLL \\Temp\\missing.dll", nullptr},
      {"CDLL \\Temp\\notlib.dll,Fn", nullptr},
      {"CDLL \\Temp\\x.ocx", "DllRegisterServer"},
      {"CDLL \\Temp\\a.dll,,#5", ""},
      {"CDLL \\Temp\\a.dll,fn", "fn"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    libraries().lookups.clear();
    EXPECT_EQ(fake_.Run(c.line), kENoInterface);
    EXPECT_EQ(libraries().lookups,
              c.lookup ? std::vector<std::string>{c.lookup} : std::vector<std::string>{});
  }
  EXPECT_TRUE(calls.empty());
}

// The default command hands every matching library the same call text.
TEST_F(LibraryCallTest, DefaultCommandCallsEveryMatchingLibrary) {
  EXPECT_EQ(fake_.Run("\\Temp\\*.dll,Fn,#1"), kENoInterface);  // notlib.dll comes last
  EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second 1"}));
  calls.clear();
  EXPECT_EQ(fake_.Run("\\Temp\\?.dll,Fn,#0x2"), 11u);
  EXPECT_EQ(calls, (std::vector<std::string>{"first 2", "second 2"}));
}

}  // namespace
}  // namespace varnisk::files
