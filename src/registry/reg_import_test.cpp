#include "registry/reg_import.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::registry {
namespace {

using engine::FakeApp;
using platform::RootKey;

// A registry listing on one line.
std::string Flat(std::string listing) {
  for (char& c : listing) {
    if (c == '\n') c = ' ';
  }
  return listing;
}

// Imports text in file mode and prints what HKLM then holds.
struct Imported {
  Result result;
  std::string listing;
};

Imported ImportFile(const std::string& text) {
  FakeApp fake;
  const std::u16string wide = platform::Utf8ToUtf16(text);
  const Result result = ImportRegText(fake.app, wide.c_str(), nullptr);
  return {result, Flat(platform::RegistryListing(fake.device.registry, RootKey::kLocalMachine))};
}

TEST(ImportRegTextTest, ValueForms) {
  struct Case {
    const char* name;
    const char* lines;  // below [HKLM\T]
    const char* listing;
  } cases[] = {
      {"dword", "\"A\"=dword:0000000a", "HKLM HKLM\\T A=4:0a000000"},
      {"dword tag without case", "\"A\"=DWord:FF", "HKLM HKLM\\T A=4:ff000000"},
      {"string", "\"S\"=\"Hi\"", "HKLM HKLM\\T S=1:\"Hi\\0\""},
      {"empty string", "\"S\"=\"\"", "HKLM HKLM\\T S=1:\"\\0\""},
      {"default value", "@=\"d\"", "HKLM HKLM\\T @=1:\"d\\0\""},
      {"escapes", "\"a\\\"b\"=\"c:\\\\d\\\"e\"", "HKLM HKLM\\T a\"b=1:\"c:\\d\"e\\0\""},
      {"hex", "\"B\"=hex:01,02,ff", "HKLM HKLM\\T B=3:0102ff"},
      {"hex continued", "\"B\"=hex:01,02,\\\n    ff", "HKLM HKLM\\T B=3:0102ff"},
      {"hex one digit", "\"B\"=hex:1,2", "HKLM HKLM\\T B=3:1020"},
      {"hex trailing comma", "\"B\"=hex:01,", "HKLM HKLM\\T B=3:01"},
      {"hex empty", "\"B\"=hex:", "HKLM HKLM\\T B=3:"},
      {"hex without colon writes nothing", "\"B\"=hex", "HKLM HKLM\\T"},
      {"hex(7) bytes stay bytes", "\"M\"=hex(7):61,00,00,00", "HKLM HKLM\\T M=7:\"a\\0\""},
      {"hex(2)", "\"E\"=HEX(2):41,00,00,00", "HKLM HKLM\\T E=2:\"A\\0\""},
      {"multi_sz", "\"M\"=multi_sz:\"a\",\"b\"", "HKLM HKLM\\T M=7:\"a\\0b\\0\\0\""},
      {"mui_sz", "\"U\"=mui_sz:\"x\"", "HKLM HKLM\\T U=21:78000000"},
      {"string holding hex", "\"S\"=\"hex:01\"", "HKLM HKLM\\T S=1:\"hex:01\\0\""},
      {"no closing quote is ignored", "\"S\"=\"abc", "HKLM HKLM\\T"},
      {"no equals is ignored", "\"S\"", "HKLM HKLM\\T"},
      {"delete value", "\"S\"=\"x\"\n\"S\"=-", "HKLM HKLM\\T"},
      {"delete default value", "@=\"x\"\n@=-", "HKLM HKLM\\T"},
      {"names without case", "\"Name\"=\"1\"\n\"NAME\"=\"2\"", "HKLM HKLM\\T Name=1:\"2\\0\""},
      {"comment joined by backslash", "; note \\\n\"S\"=\"x\"", "HKLM HKLM\\T"},
      {"last line without break", "\"S\"=\"end\"", "HKLM HKLM\\T S=1:\"end\\0\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Imported imported = ImportFile(std::string("[HKLM\\T]\n") + c.lines);
    EXPECT_EQ(imported.result, kSuccess);
    EXPECT_EQ(imported.listing, c.listing);
  }
}

TEST(ImportRegTextTest, KeyLines) {
  struct Case {
    const char* name;
    const char* text;
    Result result;
    const char* listing;
  } cases[] = {
      {"long root name", "[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=\"b\"", 0,
       "HKLM HKLM\\Software HKLM\\Software\\X a=1:\"b\\0\""},
      {"root itself", "[HKLM\\]\n\"a\"=dword:1", 0, "HKLM a=4:01000000"},
      {"delete key and below", "[HKLM\\A\\B]\n[HKLM\\A\\C]\n[-HKLM\\A]\n[HKLM\\D]", 0,
       "HKLM HKLM\\D"},
      {"values after a deletion are unparseable", "[-HKLM\\A]\n\"a\"=\"b\"", 1017, "HKLM"},
      {"unknown root", "[HKXX\\A]\n\"a\"=\"b\"\n[HKLM\\B]", 1017, "HKLM HKLM\\B"},
      {"root in lower case", "[hklm\\A]\n\"a\"=\"b\"", 1017, "HKLM"},
      {"value before any key, later lines apply", "\"a\"=\"b\"\n[HKLM\\B]\n\"c\"=\"d\"", 1017,
       "HKLM HKLM\\B c=1:\"d\\0\""},
      {"garbage line skipped", "[HKLM\\B]\nnonsense\n\"c\"=\"d\"", 1017,
       "HKLM HKLM\\B c=1:\"d\\0\""},
      {"blank lines and comments", "\r\n\r\n; c\r\n[HKLM\\B]\r\n\r\n", 0, "HKLM HKLM\\B"},
      {"a backslash ends the text", "[HKLM\\B]\r\n\"a\"=\"1\"\r\n\\", 1017, "HKLM HKLM\\B a=1:\"1\\0\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Imported imported = ImportFile(c.text);
    EXPECT_EQ(imported.result, c.result);
    EXPECT_EQ(imported.listing, c.listing);
  }
}

TEST(ImportRegTextTest, ScriptModeStopsAtTheFirstOtherLine) {
  FakeApp fake;
  const std::u16string text = u"  [HKLM\\A]\n\"a\"=\"b\"\n\n  FILE \\x,\\y\n[HKLM\\B]";
  const char16_t* stop = nullptr;
  EXPECT_EQ(ImportRegText(fake.app, text.c_str(), &stop), kErrorNotRegistryFile);
  EXPECT_EQ(std::u16string_view(stop), u"FILE \\x,\\y\n[HKLM\\B]");
  EXPECT_EQ(Flat(platform::RegistryListing(fake.device.registry, RootKey::kLocalMachine)),
            "HKLM HKLM\\A a=1:\"b\\0\"");

  const std::u16string toEnd = u"[HKLM\\C]\n\"x\"=\"y\"\n";
  EXPECT_EQ(ImportRegText(fake.app, toEnd.c_str(), &stop), kSuccess);
  EXPECT_EQ(*stop, 0);
}

TEST(ImportRegTextTest, AFailedImportLeavesTheRegistryAsItWas) {
  FakeApp fake;
  fake.device.registry.FailWrite(3, kErrorWriteFault);  // the batch cannot be committed
  const std::u16string text = u"[HKLM\\A]\n\"a\"=\"b\"";
  ImportRegText(fake.app, text.c_str(), nullptr);
  EXPECT_EQ(platform::RegistryListing(fake.device.registry, RootKey::kLocalMachine), "HKLM");
}

TEST(ImportRegTextTest, BlocksInsideScripts) {
  FakeApp fake;
  // The block is read from the script itself: no %-sequences, commas stay commas.
  EXPECT_EQ(fake.Run("EVAL 1=one\n[HKLM\\S]\n\"v\"=\"%1,2\"\nEVAL 2=after"), kSuccess);
  EXPECT_EQ(fake.Variable(2), "after");
  EXPECT_EQ(platform::RegistryListing(fake.device.registry, RootKey::kLocalMachine, u"S"),
            "HKLM\\S v=1:\"%1,2\\0\"");
  // A block that ends at a command line gives 1017 and the line runs as written.
  EXPECT_EQ(fake.Run("[HKLM\\S]\nEVAL 3=%x"), kSuccess);
  EXPECT_EQ(fake.Variable(3), "1017");
}

TEST(MatchRootKeyTest, Prefixes) {
  const std::u16string text = u"HKEY_LOCAL_MACHINE\\Software";
  const char16_t* position = text.c_str();
  EXPECT_EQ(MatchRootKey(&position), RootKey::kLocalMachine);
  EXPECT_EQ(std::u16string_view(position), u"Software");
  for (std::u16string_view bad : {u"HKLM", u"hklm\\x", u"HKCC\\x", u""}) {
    const std::u16string copy(bad);
    const char16_t* p = copy.c_str();
    EXPECT_FALSE(MatchRootKey(&p));
    EXPECT_EQ(p, copy.c_str());
  }
}

}  // namespace
}  // namespace varnisk::registry
