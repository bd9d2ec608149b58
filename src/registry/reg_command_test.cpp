#include "registry/reg_command.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::registry {
namespace {

using engine::FakeApp;
using platform::RootKey;

struct RegCase {
  const char* name;
  const char* script;  // lines run before the checked one
  const char* line;    // the REGX argument
  Result result;
  const char* slot0;   // %0 afterwards
};

void RunCases(std::initializer_list<RegCase> cases) {
  for (const RegCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    fake.SetVariable(0, u"old");
    fake.Run(c.script);
    std::u16string argument = platform::Utf8ToUtf16(c.line);
    const std::u16string before = argument;
    EXPECT_EQ(RegCommand(fake.app, argument), c.result);
    EXPECT_EQ(argument, before);
    EXPECT_EQ(fake.Variable(0), c.slot0);
  }
}

TEST(RegCommandTest, ReadsAndCompares) {
  const char* setup =
      "[HKLM\\K]\n\"Text\"=\"On\"\n\"Num\"=dword:000000ff\n\"Bin\"=hex:41,00,42\n";
  RunCases({
      {"text read", setup, "HKLM\\K\\Text", 0, "On"},
      {"names without case", setup, "HKLM\\k\\TEXT", 0, "On"},
      {"missing value empties slot 0", setup, "HKLM\\K\\None", 2, ""},
      {"missing key: the read fails on no handle", setup, "HKLM\\Nope\\Text", 6, ""},
      {"number read is the result", setup, "HKLM\\K\\#Num", 255, "old"},
      {"missing number reads 0", setup, "HKLM\\K\\#None", 0, "old"},
      {"text compare ignores case", setup, "HKLM\\K\\Text=ON?x", 1, "On"},
      {"text compare differs", setup, "HKLM\\K\\Text=Off?", 0, "On"},
      {"number compare", setup, "HKLM\\K\\#Num=0xff?", 1, "old"},
      {"missing number compares as 0", setup, "HKLM\\K\\#None=0?", 1, "old"},
      // Only the first unit is emptied: an odd last byte keeps the high byte there.
      {"binary lands as stored", setup, "HKLM\\K\\Bin", 0, "ABd"},
      {"no backslash after the root", setup, "HKLM\\Text", kEInvalidArg, "old"},
      {"unknown root", setup, "HKXX\\K\\Text", kEInvalidArg, "old"},
  });
}

TEST(RegCommandTest, TextThatDoesNotFitSlotZeroLeavesItEmpty) {
  FakeApp fake;
  fake.SetVariable(0, u"old");
  const std::string big(300, 'x');
  fake.Run("[HKLM\\K]\n\"Big\"=\"" + big + "\"\n\"Fits\"=\"" + std::string(259, 'y') + "\"");
  EXPECT_EQ(RegCommand(fake.app, u"HKLM\\K\\Big"), kErrorMoreData);
  EXPECT_EQ(fake.Variable(0), "");
  EXPECT_EQ(RegCommand(fake.app, u"HKLM\\K\\Fits"), kSuccess);
  EXPECT_EQ(fake.Variable(0), std::string(259, 'y'));
}

TEST(RegCommandTest, WritesAndDeletes) {
  struct Case {
    const char* name;
    const char16_t* argument;
    Result result;
    const char* listing;  // of HKLM\K afterwards
  } cases[] = {
      {"text creates the key", u"HKLM\\K\\S=hello", 0, "HKLM\\K S=1:\"hello\\0\""},
      {"empty text", u"HKLM\\K\\S=", 0, "HKLM\\K S=1:\"\\0\""},
      {"separator stays in the text", u"HKLM\\K\\S=a\x01" u"b", 0, "HKLM\\K S=1:\"a\x01" "b\\0\""},
      {"decimal number", u"HKLM\\K\\#N=10", 0, "HKLM\\K N=4:0a000000"},
      {"hexadecimal number", u"HKLM\\K\\#N=0x10", 0, "HKLM\\K N=4:10000000"},
      {"byte list", u"HKLM\\K\\@B=01,ff,2", 0, "HKLM\\K B=3:01ff20"},
      {"a leading - is part of the name when writing", u"HKLM\\K\\-S=x", 0,
       "HKLM\\K -S=1:\"x\\0\""},
      {"delete a value", u"HKLM\\K\\-Old", 0, "HKLM\\K"},
      {"delete a missing value", u"HKLM\\K\\-None", 2, "HKLM\\K Old=1:\"o\\0\""},
      {"delete the key", u"HKLM\\K\\-", 0, "error 2"},
      {"a comparing form of - deletes the key", u"HKLM\\K\\-=x?y", 0, "error 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    fake.Run("[HKLM\\K]\n\"Old\"=\"o\"\n[-HKLM\\K]\n[HKLM\\K]\n\"Old\"=\"o\"");
    if (std::u16string_view(c.argument).find(u'=') != std::u16string_view::npos &&
        std::u16string_view(c.argument).find(u'?') == std::u16string_view::npos) {
      fake.Run("[-HKLM\\K]");  // writing forms start from no key at all
    }
    EXPECT_EQ(RegCommand(fake.app, c.argument), c.result);
    EXPECT_EQ(platform::RegistryListing(fake.device.registry, RootKey::kLocalMachine, u"K"),
              c.listing);
  }
}

TEST(RegCommandTest, TheRootKeyItselfThroughAnEmptyKeyPath) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("REGX HKLM\\\\Top=1\nREGX HKLM\\\\Top"), kSuccess);
  EXPECT_EQ(fake.Variable(0), "1");
}

}  // namespace
}  // namespace varnisk::registry
