#include "registry/reg_export.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"
#include "registry/reg_import.h"

namespace varnisk::registry {
namespace {

using engine::FakeApp;

std::string Export(FakeApp& fake, std::u16string_view key = u"") {
  auto text = ExportRegistry(fake.device.registry, key);
  return text ? *text : "error " + std::to_string(text.error());
}

TEST(ExportRegistryTest, FormatAndOrder) {
  FakeApp fake;
  fake.Run(
      "[HKLM\\Software\\b]\n\"z\"=\"1\"\n\"A\"=dword:0000002a\n@=\"def\"\n"
      "[HKLM\\Software\\A]\n\"q\"=\"say \\\"hi\\\" c:\\\\x\"\n\"bin\"=hex:00,ff\n"
      "\"e\"=hex(2):41,00,00,00\n\"odd\"=hex(1):41,00\n\"short\"=hex(4):01\n"
      "[HKCU\\X]\n[HKLM\\]\n\"rootvalue\"=\"r\"\n");
  EXPECT_EQ(Export(fake),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\X]\n\n"
            "[HKEY_LOCAL_MACHINE\\]\n\"rootvalue\"=\"r\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"bin\"=hex:00,ff\n\"e\"=hex(2):41,00,00,00\n"
            "\"odd\"=hex(1):41,00\n\"q\"=\"say \\\"hi\\\" c:\\\\x\"\n\"short\"=hex(4):01\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\b]\n@=\"def\"\n\"A\"=dword:0000002a\n\"z\"=\"1\"\n\n");
  EXPECT_EQ(Export(fake, u"HKLM\\Software\\b"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\b]\n@=\"def\"\n\"A\"=dword:0000002a\n\"z\"=\"1\"\n\n");
  EXPECT_EQ(Export(fake, u"HKLM\\Nope"), "error 2");
  EXPECT_EQ(Export(fake, u"XX\\Nope"), "error " + std::to_string(kEInvalidArg));
}

TEST(ExportRegistryTest, ImportingTheExportGivesTheSameRegistry) {
  FakeApp source;
  source.Run(
      "[HKCR\\.vks]\n@=\"varnisk.script\"\n"
      "[HKLM\\Data]\n\"long\"=hex:" + std::string("00,01,02,03,04,05,06,07,08,09,") +
      "0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20\n"
      "\"multi\"=multi_sz:\"a\",\"b\"\n\"mui\"=mui_sz:\"m\"\n\"tab\"=hex(1):09,00,00,00\n"
      "\"\xE4\xB8\xAD\"=\"\xE6\x96\x87\"\n\"type\"=hex(1a):ff\n");
  const std::string exported = Export(source);
  FakeApp target;
  const std::u16string text = platform::Utf8ToUtf16(exported);
  // The header is passed over by LOAD; the importer reads the body.
  const std::u16string body = text.substr(text.find(u'\n') + 1);
  EXPECT_EQ(ImportRegText(target.app, body.c_str(), nullptr), kSuccess);
  EXPECT_EQ(Export(target), exported);
}

}  // namespace
}  // namespace varnisk::registry
