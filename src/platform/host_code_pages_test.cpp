#include "platform/host_code_pages.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace varnisk::platform {
namespace {

// Text as its UTF-16 units and bytes as hex, so that a failure shows what came out.
std::string Units(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%s%04X", out.empty() ? "" : " ", unsigned{unit});
    out += buffer;
  }
  return out;
}

std::string Hex(std::string_view bytes) {
  std::string out;
  for (char byte : bytes) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%s%02X", out.empty() ? "" : " ",
                  unsigned{static_cast<unsigned char>(byte)});
    out += buffer;
  }
  return out;
}

class HostCodePagesTest : public testing::Test {
 protected:
  HostCodePages codePages_{936, {VARNISK_BUILD_DIR}};
};

TEST_F(HostCodePagesTest, DecodesBytes) {
  struct Case {
    const char* label;
    uint32_t codePage;
    std::string_view bytes;
    const char* units;
  };
  const Case cases[] = {
      {"GBK Chinese", 936, "\xD6\xD0\xCE\xC4", "4E2D 6587"},
      {"ANSI code page is GBK", kCodePageAnsi, "\xD6\xD0\xCE\xC4", "4E2D 6587"},
      {"GBK 0x80 is the euro sign", 936, "\x80", "20AC"},
      // The table itself gives 0xFF a private-use character; nothing is substituted.
      {"GBK 0xFF", 936, "a\xFF" "b", "0061 F8F5 0062"},
      {"GBK lead byte at the very end", 936, "a\xD6", "0061 FFFD"},
      // A byte that cannot follow the lead byte is not swallowed with it.
      {"GBK lead byte before ASCII", 936, "\x81 b", "FFFD 0020 0062"},
      {"GBK mixed with ASCII", 936, "ab\xD6\xD0" "c", "0061 0062 4E2D 0063"},
      {"US-ASCII high bytes", 20127, "a\x80\xFF", "0061 FFFD FFFD"},
      {"1252 euro and unassigned 0x81", 1252, "\x80\x81\xE9", "20AC 0081 00E9"},
      {"1253 undefined byte", 1253, "\xC1\xD2", "0391 FFFD"},
      {"Shift-JIS", 932, "\x82\xA0\x83\x41", "3042 30A2"},
      // ICU's own substitute here would be U+001A, the end-of-file control.
      {"Shift-JIS undefined byte", 932, "\xFF", "FFFD"},
      {"Shift-JIS controls keep their numbers", 932, "\x1A\x1C\x7F\x82\xA0",
       "001A 001C 007F 3042"},
      {"437 controls keep their numbers", 437, "\x1A\x1C\x7F\xC4", "001A 001C 007F 2500"},
      {"Korean", 949, "\xB0\xA1", "AC00"},
      {"Big5", 950, "\xA4\xA4", "4E2D"},
      {"Latin-1", 28591, "\xE9\xFF", "00E9 00FF"},
      {"GB18030 four bytes", 54936, "\x81\x30\x81\x30", "0080"},
      {"GB18030 beyond the BMP", 54936, "\x95\x32\x82\x36", "D840 DC00"},
      {"UTF-8 truncated", kCodePageUtf8, "a\xE4\xB8", "0061 FFFD"},
      {"EBCDIC", 37, "\xC1\x40\x81", "0041 0020 0061"},
      {"UTF-7", 65000, "Hi+AKM-", "0048 0069 00A3"},
      {"ISO-2022-JP", 50220, "\x1B$BF|\x1B(Ba", "65E5 0061"},
      {"nothing", 936, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Units(codePages_.ToUtf16(c.codePage, c.bytes)), c.units);
  }
}

TEST_F(HostCodePagesTest, EncodesText) {
  struct Case {
    const char* label;
    uint32_t codePage;
    std::u16string_view text;
    const char* bytes;
  };
  const Case cases[] = {
      {"GBK Chinese", 936, u"中文", "D6 D0 CE C4"},
      {"ANSI code page is GBK", kCodePageAnsi, u"中文", "D6 D0 CE C4"},
      {"GBK euro sign", 936, u"€", "80"},
      {"GBK cannot represent Thai", 936, u"a\u0E01b", "61 3F 62"},
      {"unpaired surrogate", 936, u"a\xD800", "61 3F"},
      {"one ? for a character beyond the BMP", 936, u"\U0001F600", "3F"},
      {"US-ASCII", 20127, u"é", "3F"},
      {"1252", 1252, u"€é", "80 E9"},
      {"Shift-JIS controls keep their numbers", 932, u"\x1A\x1C\x7F\u3042", "1A 1C 7F 82 A0"},
      {"437 controls keep their numbers", 437, u"\x1A\x1C\x7F\u2500", "1A 1C 7F C4"},
      // Longer than two bytes a unit: the first guess at the length is short.
      {"GB18030 four bytes for one unit", 54936, u"\u0080", "81 30 81 30"},
      {"ISO-2022-JP escapes", 50220, u"日", "1B 24 42 46 7C 1B 28 42"},
      {"EBCDIC question mark", 37, u"A\u4E2D", "C1 6F"},
      {"UTF-8", kCodePageUtf8, u"中", "E4 B8 AD"},
      {"UTF-8 unpaired surrogate", kCodePageUtf8, u"\xDC00", "EF BF BD"},
      {"nothing", 936, u"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Hex(codePages_.FromUtf16(c.codePage, c.text)), c.bytes);
  }
}

TEST_F(HostCodePagesTest, RoundTripsText) {
  struct Case {
    const char* label;
    uint32_t codePage;
    std::u16string_view text;
  };
  const Case cases[] = {
      {"GBK", 936, u"中文 Windows 设置 €"},
      {"Shift-JIS", 932, u"日本語のテキスト ｶﾅ"},
      {"Korean", 949, u"한국어 텍스트"},
      {"Big5", 950, u"繁體中文"},
      {"Cyrillic", 1251, u"Привет, мир"},
      {"GB18030", 54936, u"中文 \U0001F600 \u0080"},
      {"UTF-8", kCodePageUtf8, u"中文 \U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string bytes = codePages_.FromUtf16(c.codePage, c.text);
    EXPECT_EQ(Units(codePages_.ToUtf16(c.codePage, bytes)), Units(c.text));
  }
}

TEST_F(HostCodePagesTest, SingleByteCodePagesRoundTripEveryByte) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  for (uint32_t codePage : {437u, 866u, 1251u, 1252u, 28591u}) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(Hex(codePages_.FromUtf16(codePage, codePages_.ToUtf16(codePage, all))),
              Hex(all));
  }
}

// Longer than the module's scratch buffer, so its counting of what does not fit is used.
TEST_F(HostCodePagesTest, ConvertsLongText) {
  std::string gbk;
  for (int i = 0; i < 5000; ++i) gbk += "\xD6\xD0";
  EXPECT_EQ(codePages_.ToUtf16(936, gbk), std::u16string(5000, u'中'));

  const std::string gb18030 = codePages_.FromUtf16(54936, std::u16string(3000, u'\u0080'));
  ASSERT_EQ(gb18030.size(), 12000u);
  EXPECT_EQ(Hex(gb18030.substr(11996)), "81 30 81 30");
}

TEST_F(HostCodePagesTest, AnsiCodePageCanBeChosen) {
  HostCodePages codePages(1252, {VARNISK_BUILD_DIR});
  EXPECT_EQ(codePages.AnsiCodePage(), 1252u);
  EXPECT_EQ(Units(codePages.ToUtf16(kCodePageAnsi, "\xE9\x80")), "00E9 20AC");
  EXPECT_EQ(Hex(codePages.FromUtf16(kCodePageAnsi, u"é€")), "E9 80");
  EXPECT_EQ(codePages_.AnsiCodePage(), 936u);
}

TEST_F(HostCodePagesTest, UnknownCodePageConvertsNothing) {
  for (uint32_t codePage : {1u, 12345u, 65002u}) {
    SCOPED_TRACE(codePage);
    EXPECT_FALSE(codePages_.Supports(codePage));
    // Not even ASCII: the device has no table to convert it with.
    EXPECT_EQ(codePages_.ToUtf16(codePage, "abc"), u"");
    EXPECT_EQ(codePages_.FromUtf16(codePage, u"abc"), "");
  }
  EXPECT_TRUE(codePages_.Supports(936));
  EXPECT_TRUE(codePages_.Supports(kCodePageAnsi));
}

TEST_F(HostCodePagesTest, AsciiAndUtf8NeverLoadTheModule) {
  EXPECT_EQ(codePages_.ToUtf16(936, "plain text"), u"plain text");
  EXPECT_EQ(codePages_.FromUtf16(kCodePageAnsi, u"plain text"), "plain text");
  EXPECT_EQ(codePages_.ToUtf16(1252, ""), u"");
  EXPECT_EQ(codePages_.ToUtf16(kCodePageUtf8, "\xE4\xB8\xAD"), u"中");
  EXPECT_EQ(codePages_.FromUtf16(kCodePageUtf8, u"中"), "\xE4\xB8\xAD");
  EXPECT_TRUE(codePages_.Supports(kCodePageUtf8));
  EXPECT_FALSE(codePages_.ModuleLoaded());

  EXPECT_EQ(codePages_.ToUtf16(936, "\xD6\xD0"), u"中");
  EXPECT_TRUE(codePages_.ModuleLoaded());
}

TEST(HostCodePagesModuleTest, MissingModuleConvertsOnlyAsciiAndUtf8) {
  HostCodePages codePages(936, {"/nonexistent/varnisk", ""});
  EXPECT_EQ(codePages.ToUtf16(936, "\xD6\xD0\xCE\xC4"), u"");
  EXPECT_EQ(codePages.FromUtf16(936, u"中文"), "");
  EXPECT_FALSE(codePages.Supports(936));
  EXPECT_TRUE(codePages.Supports(kCodePageUtf8));
  EXPECT_EQ(codePages.ToUtf16(936, "abc"), u"abc");
  EXPECT_EQ(codePages.FromUtf16(kCodePageUtf8, u"中"), "\xE4\xB8\xAD");
  EXPECT_FALSE(codePages.ModuleLoaded());
}

TEST(HostCodePagesModuleTest, SearchesFoldersInOrderAndSkipsBrokenModules) {
  const std::filesystem::path broken =
      std::filesystem::path(testing::TempDir()) / "varnisk-broken-module";
  std::filesystem::create_directories(broken);
  std::ofstream(broken / kCodePageModuleName) << "not a shared object";

  HostCodePages codePages(936, {"/nonexistent/varnisk", broken.string(), VARNISK_BUILD_DIR});
  EXPECT_EQ(codePages.ToUtf16(936, "\xD6\xD0"), u"中");
  EXPECT_TRUE(codePages.ModuleLoaded());
  std::filesystem::remove_all(broken);
}

// The module's own functions, bypassing the direct conversions of HostCodePages.
class ModuleFunctions {
 public:
  ModuleFunctions()
      : module_(dlopen(VARNISK_BUILD_DIR "/varnisk-codepages.so", RTLD_NOW | RTLD_LOCAL)) {}
  ~ModuleFunctions() {
    if (module_ != nullptr) dlclose(module_);
  }
  bool Loaded() const { return module_ != nullptr; }

  std::u16string ToUtf16(uint32_t codePage, std::string_view bytes) {
    auto convert = reinterpret_cast<CodePageToUtf16Function>(
        dlsym(module_, "VarniskCodePageToUtf16"));
    std::u16string text(bytes.size() * 2, u'\0');
    const int64_t length =
        convert(codePage, bytes.data(), bytes.size(), text.data(), text.size());
    text.resize(length < 0 ? 0 : static_cast<size_t>(length));
    return text;
  }
  std::string FromUtf16(uint32_t codePage, std::u16string_view text) {
    auto convert = reinterpret_cast<CodePageFromUtf16Function>(
        dlsym(module_, "VarniskCodePageFromUtf16"));
    std::string bytes(text.size() * 8, '\0');
    const int64_t length =
        convert(codePage, text.data(), text.size(), bytes.data(), bytes.size());
    bytes.resize(length < 0 ? 0 : static_cast<size_t>(length));
    return bytes;
  }

 private:
  void* module_;
};

// The direct ASCII conversion is only right for code pages whose tables say the same, and
// only for code pages the module knows at all.
TEST_F(HostCodePagesTest, AsciiShortcutAgreesWithTheTables) {
  ModuleFunctions module;
  ASSERT_TRUE(module.Loaded());
  std::string ascii;
  for (int byte = 0; byte < 0x80; ++byte) ascii.push_back(static_cast<char>(byte));
  const std::u16string text(ascii.begin(), ascii.end());
  int supported = 0;
  for (uint32_t codePage = 1; codePage < 66000; ++codePage) {
    if (codePage == kCodePageUtf8) continue;  // converted by the program's own UTF-8 code
    SCOPED_TRACE(codePage);
    if (!codePages_.Supports(codePage)) {
      ASSERT_EQ(codePages_.ToUtf16(codePage, "a"), u"");
      ASSERT_EQ(codePages_.FromUtf16(codePage, u"a"), "");
      continue;
    }
    ++supported;
    ASSERT_EQ(Units(codePages_.ToUtf16(codePage, ascii)),
              Units(module.ToUtf16(codePage, ascii)));
    ASSERT_EQ(Hex(codePages_.FromUtf16(codePage, text)), Hex(module.FromUtf16(codePage, text)));
  }
  EXPECT_GT(supported, 100);
}

}  // namespace
}  // namespace varnisk::platform
