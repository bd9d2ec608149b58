// The configuration manager on the fake device: documents in, registry and files out,
// each printed as one short string.

#include "platform/provisioning.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake_file_system.h"
#include "platform/fake_registry.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// Forwards to a FakeRegistry, notes the batch calls, and fails on request: the write of
// one value name, or the end of the batch.
class RecordingRegistry : public RegistryStore {
 public:
  explicit RecordingRegistry(FakeRegistry& store) : store_(store) {}

  Expected<KeyHandle, Result> CreateKey(RootKey root, std::u16string_view path) override {
    return store_.CreateKey(root, path);
  }
  Expected<KeyHandle, Result> OpenKey(RootKey root, std::u16string_view path) override {
    return store_.OpenKey(root, path);
  }
  void CloseKey(KeyHandle key) override { store_.CloseKey(key); }
  Result SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                  std::string_view data) override {
    if (name == failValue) return kErrorWriteFault;
    return store_.SetValue(key, name, type, data);
  }
  Result QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type, void* buffer,
                    uint32_t capacity, uint32_t* size) override {
    return store_.QueryValue(key, name, type, buffer, capacity, size);
  }
  Result DeleteValue(KeyHandle key, std::u16string_view name) override {
    return store_.DeleteValue(key, name);
  }
  Result DeleteKey(RootKey root, std::u16string_view path) override {
    return store_.DeleteKey(root, path);
  }
  Result BeginBatch() override {
    batches += "begin ";
    return store_.BeginBatch();
  }
  Result EndBatch() override {
    batches += "end ";
    if (!failEnd) return store_.EndBatch();
    store_.AbandonBatch();
    return kErrorWriteFault;
  }
  Result CancelBatch() override {
    batches += "cancel ";
    return store_.CancelBatch();
  }
  Expected<std::vector<RegistryKeyRecord>, Result> ExportKeys(
      RootKey root, std::u16string_view path) override {
    return store_.ExportKeys(root, path);
  }

  std::string batches;
  std::u16string failValue = u"no value is called this";
  bool failEnd = false;

 private:
  FakeRegistry& store_;
};

// A fake device with a configuration manager on it.
struct World {
  FakeFileSystem files;
  FakeRegistry store;
  RecordingRegistry registry{store};
  ProvisioningManager manager{files, registry};

  Result Process(std::string_view utf8) { return manager.ProcessConfigXml(Utf8ToUtf16(utf8)); }

  // Every key of every root that holds anything, with its values, joined by " | ".
  std::string Registry() {
    std::string out;
    for (RootKey root : {RootKey::kLocalMachine, RootKey::kCurrentUser, RootKey::kClassesRoot,
                         RootKey::kUsers}) {
      const std::string listing = RegistryListing(store, root);
      for (size_t start = 0; start < listing.size();) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        const std::string line = listing.substr(start, end - start);
        if (line.find_first_of(" \\") != std::string::npos) {  // not a bare root
          out += (out.empty() ? "" : " | ") + line;
        }
        start = end + 1;
      }
    }
    return out;
  }

  // The file listing, each file followed by "=" and its bytes.
  std::string Files() {
    const std::string listing = files.Listing();
    std::string out;
    for (size_t start = 0; start < listing.size();) {
      size_t end = listing.find(" \\", start);
      if (end == std::string::npos) end = listing.size();
      const std::string entry = listing.substr(start, end - start);
      out += (out.empty() ? "" : " ") + entry;
      if (entry.back() != '\\') {
        out += "=" + files.ReadFile(Utf8ToUtf16(entry), UINT64_MAX).value_or("?");
      }
      start = end + 1;
    }
    return out;
  }
};

std::string Registry(std::string_view body) {
  return "<wap-provisioningdoc><characteristic type=\"Registry\">" + std::string(body) +
         "</characteristic></wap-provisioningdoc>";
}

std::string FileOps(std::string_view body) {
  return "<wap-provisioningdoc><characteristic type=\"FileOperation\">" + std::string(body) +
         "</characteristic></wap-provisioningdoc>";
}

struct DocumentCase {
  const char* label;
  std::string document;
  std::string expected;
};

TEST(ProvisioningTest, RegistryValuesOfEveryDatatype) {
  const DocumentCase cases[] = {
      {"string with its NUL",
       Registry(R"(<characteristic type="HKLM\Software\X">
                     <parm name="Name" value="Text" datatype="string"/></characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X Name=1:"Text\0")"},
      {"datatype defaults to string, value to empty",
       Registry(R"(<characteristic type="HKLM\X"><parm name="A" value="a"/><parm name="B"/>
                   </characteristic>)"),
       R"(HKLM\X A=1:"a\0" B=1:"\0")"},
      {"empty name is the default value",
       Registry(R"(<characteristic type="HKLM\X"><parm name="" value="d"/></characteristic>)"),
       R"(HKLM\X @=1:"d\0")"},
      {"escapes and text beyond ASCII",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="T" value="&lt;Grüße&gt; &amp; 中文 &#x1F600;"/>
                   </characteristic>)"),
       R"(HKLM\X T=1:"<Grüße> & 中文 😀\0")"},
      {"integer, decimal and hex",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="Dec" value="42" datatype="integer"/>
                     <parm name="Hex" value="0xDEADbeef" datatype="integer"/>
                     <parm name="Blanks" value=" 7 " datatype="integer"/>
                   </characteristic>)"),
       R"(HKLM\X Blanks=4:07000000 Dec=4:2a000000 Hex=4:efbeadde)"},
      {"integer at its limits",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="Max" value="4294967295" datatype="integer"/>
                     <parm name="MinusOne" value="-1" datatype="integer"/>
                     <parm name="Min" value="-2147483648" datatype="integer"/>
                     <parm name="Zero" value="0x00000000" datatype="integer"/>
                   </characteristic>)"),
       R"(HKLM\X Max=4:ffffffff Min=4:00000080 MinusOne=4:ffffffff Zero=4:00000000)"},
      {"multiplestring split at U+F000",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="M" value="one&#xF000;two" datatype="multiplestring"/>
                   </characteristic>)"),
       R"(HKLM\X M=7:"one\0two\0\0")"},
      {"multiplestring without its empty strings",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="M" value="&#xF000;a&#xF000;&#xF000;b&#xF000;"
                           datatype="multiplestring"/>
                     <parm name="None" value="" datatype="multiplestring"/>
                   </characteristic>)"),
       R"(HKLM\X M=7:"a\0b\0\0" None=7:"\0\0")"},
      {"binary from base64",
       Registry(R"(<characteristic type="HKLM\X">
                     <parm name="Two" value="AAEC/w==" datatype="binary"/>
                     <parm name="Blanks" value=" AQID BA== " datatype="binary"/>
                     <parm name="Full" value="+/8A" datatype="binary"/>
                     <parm name="Empty" value="" datatype="binary"/>
                   </characteristic>)"),
       R"(HKLM\X Blanks=3:01020304 Empty=3: Full=3:fbff00 Two=3:000102ff)"},
      {"names of types, providers and roots in any case",
       Registry(R"(<characteristic type="hkey_local_machine\X">
                     <parm name="N" value="0x10" datatype="INTEGER"/></characteristic>)"),
       R"(HKLM\X N=4:10000000)"},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    EXPECT_EQ(world.Process(c.document), kSuccess);
    EXPECT_EQ(world.Registry(), c.expected);
  }
}

TEST(ProvisioningTest, RegistryKeysAndTheirNesting) {
  const DocumentCase cases[] = {
      {"every root, short and long names",
       Registry(R"(<characteristic type="HKCU\A"/><characteristic type="HKEY_CURRENT_USER\B"/>
                   <characteristic type="HKCR\.txt"/><characteristic type="HKEY_CLASSES_ROOT\C"/>
                   <characteristic type="HKU\D"/><characteristic type="HKEY_USERS\E"/>
                   <characteristic type="HKEY_LOCAL_MACHINE\F"/>)"),
       R"(HKLM\F | HKCU\A | HKCU\B | HKCR\.txt | HKCR\C | HKU\D | HKU\E)"},
      {"a root's own values",
       Registry(R"(<characteristic type="HKCU"><parm name="V" value="r"/></characteristic>)"),
       R"(HKCU V=1:"r\0")"},
      {"nested keys below the key holding them",
       Registry(R"(<characteristic type="HKLM\Software">
                     <characteristic type="App"><parm name="V" value="1"/>
                       <characteristic type="Deep\Er"><parm name="W" value="2"/>
                       </characteristic>
                     </characteristic>
                   </characteristic>)"),
       R"(HKLM\Software | HKLM\Software\App V=1:"1\0" | HKLM\Software\App\Deep | )"
       R"(HKLM\Software\App\Deep\Er W=1:"2\0")"},
      {"doubled and trailing backslashes pass over empty levels",
       Registry(R"(<characteristic type="HKLM\\Software\\X\"><characteristic type="\Y\"/>
                   </characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X | HKLM\Software\X\Y)"},
      {"a key keeps the case it was first written in",
       Registry(R"(<characteristic type="HKLM\Software\App"/>
                   <characteristic type="hklm\SOFTWARE\APP"><parm name="V" value="x"/>
                   </characteristic>)"),
       R"(HKLM\Software | HKLM\Software\App V=1:"x\0")"},
      {"a bare characteristic is a document",
       R"(<characteristic type="Registry"><characteristic type="HKLM\Bare"/></characteristic>)",
       R"(HKLM\Bare)"},
      {"several providers, declaration, comments and blanks",
       R"(<?xml version="1.0" encoding="utf-16"?>
          <!-- set-up -->
          <wap-provisioningdoc version="1.0">
            <characteristic type="registry"><characteristic type="HKLM\One"/></characteristic>
            <characteristic type="Registry"><characteristic type="HKLM\Two"/></characteristic>
          </wap-provisioningdoc>)",
       R"(HKLM\One | HKLM\Two)"},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    EXPECT_EQ(world.Process(c.document), kSuccess);
    EXPECT_EQ(world.Registry(), c.expected);
  }
}

// Each row starts from the same registry; deleting what is already gone is no failure.
TEST(ProvisioningTest, RegistryDeletions) {
  const std::string seed = Registry(R"(
      <characteristic type="HKLM\Software\X"><parm name="" value="d"/>
        <parm name="A" value="a"/><parm name="B" value="b"/>
        <characteristic type="Sub\Deep"><parm name="C" value="c"/></characteristic>
      </characteristic>
      <characteristic type="HKLM\Software\Y"/>)");
  const DocumentCase cases[] = {
      {"noparm deletes a value, in any case",
       Registry(R"(<characteristic type="HKLM\Software\X"><noparm name="a"/></characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X @=1:"d\0" B=1:"b\0" | HKLM\Software\X\Sub | )"
       R"(HKLM\Software\X\Sub\Deep C=1:"c\0" | HKLM\Software\Y)"},
      {"noparm with an empty name deletes the default value",
       Registry(R"(<characteristic type="HKLM\Software\X\Sub\Deep"><noparm name="C"/>
                   </characteristic><characteristic type="HKLM\Software\X"><noparm name=""/>
                   </characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X A=1:"a\0" B=1:"b\0" | HKLM\Software\X\Sub | )"
       R"(HKLM\Software\X\Sub\Deep | HKLM\Software\Y)"},
      {"nocharacteristic deletes a key with everything below it",
       Registry(R"(<nocharacteristic type="HKLM\SOFTWARE\x"/>)"),
       R"(HKLM\Software | HKLM\Software\Y)"},
      {"nested nocharacteristic names a key below the one holding it",
       Registry(R"(<characteristic type="HKLM\Software\X"><nocharacteristic type="Sub"/>
                   </characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X @=1:"d\0" A=1:"a\0" B=1:"b\0" | HKLM\Software\Y)"},
      {"missing values and keys are no failure",
       Registry(R"(<nocharacteristic type="HKLM\None"/>
                   <characteristic type="HKLM\Software\Y"><noparm name="None"/>
                     <nocharacteristic type="None\Deeper"/></characteristic>)"),
       R"(HKLM\Software | HKLM\Software\X @=1:"d\0" A=1:"a\0" B=1:"b\0" | )"
       R"(HKLM\Software\X\Sub | HKLM\Software\X\Sub\Deep C=1:"c\0" | HKLM\Software\Y)"},
      {"changes apply in document order",
       Registry(R"(<nocharacteristic type="HKLM\Software\X"/>
                   <characteristic type="HKLM\Software\X"><parm name="New" value="n"/>
                   </characteristic><nocharacteristic type="HKLM\Software\Y"/>)"),
       R"(HKLM\Software | HKLM\Software\X New=1:"n\0")"},
      {"a key holding only deletions is still made",
       Registry(R"(<characteristic type="HKLM\Made"><noparm name="V"/></characteristic>)"),
       R"(HKLM\Made | HKLM\Software | HKLM\Software\X @=1:"d\0" A=1:"a\0" B=1:"b\0" | )"
       R"(HKLM\Software\X\Sub | HKLM\Software\X\Sub\Deep C=1:"c\0" | HKLM\Software\Y)"},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    ASSERT_EQ(world.Process(seed), kSuccess);
    EXPECT_EQ(world.Process(c.document), kSuccess);
    EXPECT_EQ(world.Registry(), c.expected);
  }
}

// Each row starts from \Temp\app.exe, \Temp\old.txt and the empty folder \Temp\Empty.
TEST(ProvisioningTest, FileOperations) {
  const DocumentCase cases[] = {
      {"MakeDir makes the missing folders above",
       FileOps(R"(<characteristic type="\Program Files\App\Data">
                    <characteristic type="MakeDir"/></characteristic>)"),
       R"(\Program Files\ \Program Files\App\ \Program Files\App\Data\ \Temp\ \Temp\Empty\ )"
       R"(\Temp\app.exe=MZ \Temp\old.txt=old)"},
      {"MakeDir of an existing folder, Copy into the folder just made",
       FileOps(R"(<characteristic type="\temp"><characteristic type="makedir"/>
                  </characteristic>
                  <characteristic type="\Program Files\App" translation="filesystem">
                    <characteristic type="MakeDir"/>
                    <characteristic type="App.exe"><characteristic type="COPY">
                      <parm name="source" value="\TEMP\APP.EXE" translation="filesystem"/>
                    </characteristic></characteristic>
                  </characteristic>)"),
       R"(\Program Files\ \Program Files\App\ \Program Files\App\App.exe=MZ \Temp\ )"
       R"(\Temp\Empty\ \Temp\app.exe=MZ \Temp\old.txt=old)"},
      {"Copy replaces a file and may name it below a folder of the entry",
       FileOps(R"(<characteristic type="\"><characteristic type="Temp\Old.txt">
                    <characteristic type="Copy"><parm name="Source" value="/Temp/app.exe"/>
                    </characteristic></characteristic></characteristic>)"),
       R"(\Temp\ \Temp\Empty\ \Temp\app.exe=MZ \Temp\old.txt=MZ)"},
      {"Delete deletes a file, an empty folder, or nothing that is missing",
       FileOps(R"(<characteristic type="\Temp">
                    <characteristic type="OLD.TXT"><characteristic type="Delete"/>
                    </characteristic>
                    <characteristic type="empty"><characteristic type="Delete"/>
                    </characteristic>
                    <characteristic type="none.txt"><characteristic type="Delete"/>
                    </characteristic>
                  </characteristic>
                  <characteristic type="\None\a.txt"><characteristic type="Delete"/>
                  </characteristic>)"),
       R"(\Temp\ \Temp\app.exe=MZ)"},
      {"operations run in document order",
       FileOps(R"(<characteristic type="\Temp\New"><characteristic type="MakeDir"/>
                    <characteristic type="a.exe"><characteristic type="Copy">
                      <parm name="Source" value="\Temp\app.exe"/></characteristic>
                      <characteristic type="Delete"/></characteristic>
                    <characteristic type="b.exe"><characteristic type="Copy">
                      <parm name="Source" value="\Temp\app.exe"/></characteristic>
                    </characteristic>
                  </characteristic>)"),
       R"(\Temp\ \Temp\Empty\ \Temp\New\ \Temp\New\b.exe=MZ \Temp\app.exe=MZ )"
       R"(\Temp\old.txt=old)"},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    ASSERT_EQ(world.files.CreateFolder(u"\\Temp"), kSuccess);
    ASSERT_EQ(world.files.CreateFolder(u"\\Temp\\Empty"), kSuccess);
    ASSERT_EQ(world.files.WriteFile(u"\\Temp\\app.exe", "MZ"), kSuccess);
    ASSERT_EQ(world.files.WriteFile(u"\\Temp\\old.txt", "old"), kSuccess);
    EXPECT_EQ(world.Process(c.document), kSuccess);
    EXPECT_EQ(world.Files(), c.expected);
    EXPECT_EQ(world.registry.batches, "") << "no registry change, no batch";
  }
}

// Nothing of a refused document reaches the device, though each row asks for a registry
// key and a folder before the part that makes it refused.
TEST(ProvisioningTest, RefusedDocumentsChangeNothing) {
  const std::string good =
      R"(<characteristic type="Registry"><characteristic type="HKLM\Made"/></characteristic>
         <characteristic type="FileOperation"><characteristic type="\Made">
           <characteristic type="MakeDir"/></characteristic></characteristic>)";
  auto doc = [&](std::string_view rest) {
    return "<wap-provisioningdoc>" + good + std::string(rest) + "</wap-provisioningdoc>";
  };
  auto key = [&](std::string_view body) {
    return doc(R"(<characteristic type="Registry"><characteristic type="HKLM\K">)" +
               std::string(body) + "</characteristic></characteristic>");
  };
  auto entry = [&](std::string_view body) {
    return doc(R"(<characteristic type="FileOperation"><characteristic type="\Made">)"
               R"(<characteristic type="a.txt">)" +
               std::string(body) + "</characteristic></characteristic></characteristic>");
  };
  std::string deep = R"(<characteristic type="Registry"><characteristic type="HKLM\D">)";
  for (int i = 0; i < kMaxProvisioningNesting; ++i) deep += R"(<characteristic type="D">)";
  for (int i = 0; i <= kMaxProvisioningNesting; ++i) deep += "</characteristic>";
  deep += "</characteristic>";

  const struct {
    const char* label;
    std::string document;
    Result expected;
  } cases[] = {
      {"not XML", "hello", kConfigMalformedDocument},
      {"empty", "", kConfigMalformedDocument},
      {"unclosed", doc("<characteristic type=\"Registry\">"), kConfigMalformedDocument},
      {"mismatched end", doc("<characteristic type=\"Registry\"></parm>"),
       kConfigMalformedDocument},
      {"two top elements", doc("") + "<wap-provisioningdoc/>", kConfigMalformedDocument},
      {"text after the top element", doc("") + "junk", kConfigMalformedDocument},
      {"a NUL", doc("") + std::string(1, '\0'), kConfigMalformedDocument},
      {"an attribute twice", doc(R"(<characteristic type="Registry" type="Registry"/>)"),
       kConfigMalformedDocument},
      {"another top element", "<provisioning>" + good + "</provisioning>",
       kConfigMalformedDocument},
      {"no provider", "<wap-provisioningdoc> </wap-provisioningdoc>",
       kConfigMalformedDocument},
      {"provider without type", doc("<characteristic/>"), kConfigMalformedDocument},
      {"provider with an empty type", doc(R"(<characteristic type=""/>)"),
       kConfigMalformedDocument},
      {"parm at the top", doc(R"(<parm name="a"/>)"), kConfigMalformedDocument},
      {"text in a characteristic", key("text"), kConfigMalformedDocument},
      {"unknown element", key("<value/>"), kConfigMalformedDocument},
      {"element inside a parm", key(R"(<parm name="a"><parm name="b"/></parm>)"),
       kConfigMalformedDocument},
      {"parm without name", key(R"(<parm value="a"/>)"), kConfigMalformedDocument},
      {"noparm without name", key("<noparm/>"), kConfigMalformedDocument},
      {"sub-key without type", key("<characteristic/>"), kConfigMalformedDocument},
      {"unknown datatype", key(R"(<parm name="a" value="1" datatype="float"/>)"),
       kConfigMalformedDocument},
      {"empty datatype", key(R"(<parm name="a" value="1" datatype=""/>)"),
       kConfigMalformedDocument},
      {"integer without value", key(R"(<parm name="a" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"integer with letters", key(R"(<parm name="a" value="12a" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"integer too large", key(R"(<parm name="a" value="4294967296" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"integer too small",
       key(R"(<parm name="a" value="-2147483649" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"hex too large", key(R"(<parm name="a" value="0x100000000" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"hex without digits", key(R"(<parm name="a" value="0x" datatype="integer"/>)"),
       kConfigMalformedDocument},
      {"base64 cut short", key(R"(<parm name="a" value="AAE" datatype="binary"/>)"),
       kConfigMalformedDocument},
      {"base64 padded too much", key(R"(<parm name="a" value="A===" datatype="binary"/>)"),
       kConfigMalformedDocument},
      {"base64 after padding", key(R"(<parm name="a" value="AA=AAAAA" datatype="binary"/>)"),
       kConfigMalformedDocument},
      {"base64 foreign symbol", key(R"(<parm name="a" value="AA*A" datatype="binary"/>)"),
       kConfigMalformedDocument},
      {"unknown root",
       doc(R"(<characteristic type="Registry"><characteristic type="HKXX\A"/>)"
           "</characteristic>"),
       kConfigMalformedDocument},
      {"deleting a root",
       doc(R"(<characteristic type="Registry"><nocharacteristic type="HKLM\"/>)"
           "</characteristic>"),
       kConfigMalformedDocument},
      {"parm directly in the provider",
       doc(R"(<characteristic type="Registry"><parm name="a"/></characteristic>)"),
       kConfigMalformedDocument},
      {"nesting too deep", doc(deep), kConfigMalformedDocument},
      {"device path the device refuses",
       doc(R"(<characteristic type="FileOperation"><characteristic type="\a*b"/>)"
           "</characteristic>"),
       kConfigMalformedDocument},
      {"entry leaving its folder",
       doc(R"(<characteristic type="FileOperation"><characteristic type="\Made">)"
           R"(<characteristic type="x\..\..\Other\y"/></characteristic></characteristic>)"),
       kConfigMalformedDocument},
      {"entry naming its folder",
       doc(R"(<characteristic type="FileOperation"><characteristic type="\Made">)"
           R"(<characteristic type="."/></characteristic></characteristic>)"),
       kConfigMalformedDocument},
      {"nocharacteristic for files",
       doc(R"(<characteristic type="FileOperation"><nocharacteristic type="\Made"/>)"
           "</characteristic>"),
       kConfigMalformedDocument},
      {"copy without source", entry(R"(<characteristic type="Copy"/>)"),
       kConfigMalformedDocument},
      {"copy with two sources",
       entry(R"(<characteristic type="Copy"><parm name="Source" value="\a"/>)"
             R"(<parm name="Source" value="\b"/></characteristic>)"),
       kConfigMalformedDocument},
      {"copy from the root",
       entry(R"(<characteristic type="Copy"><parm name="Source" value="\"/></characteristic>)"),
       kConfigMalformedDocument},
      {"copy from a refused path",
       entry(R"(<characteristic type="Copy"><parm name="Source" value="\a|b"/>)"
             "</characteristic>"),
       kConfigMalformedDocument},
      {"unknown provider", doc(R"(<characteristic type="Bogus"/>)"), kConfigUnknownEntry},
      {"unknown file operation", entry(R"(<characteristic type="Move"/>)"),
       kConfigUnknownEntry},
      {"unknown copy parm",
       entry(R"(<characteristic type="Copy"><parm name="Source" value="\a"/>)"
             R"(<parm name="Destination" value="\b"/></characteristic>)"),
       kConfigUnknownEntry},
      {"parm of an operation without any", entry(R"(<characteristic type="Delete">)"
                                                 R"(<parm name="Force" value="1"/>)"
                                                 "</characteristic>"),
       kConfigUnknownEntry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    ASSERT_EQ(world.files.WriteFile(u"\\kept.txt", "kept"), kSuccess);
    world.files.ClearCalls();
    EXPECT_EQ(world.Process(c.document), c.expected);
    EXPECT_TRUE(world.files.Calls().empty());
    EXPECT_EQ(world.registry.batches, "");
    EXPECT_EQ(world.Registry(), "");
    EXPECT_EQ(world.Files(), "\\kept.txt=kept");
  }
}

// The first failure ends the run: what came before it stays, nothing after it runs.
TEST(ProvisioningTest, FailureWhileApplying) {
  const struct {
    const char* label;
    std::string document;
    std::string registry;
    std::string files;
  } cases[] = {
      {"copy from a missing file",
       FileOps(R"(<characteristic type="\Dir"><characteristic type="MakeDir"/>
                    <characteristic type="a.exe"><characteristic type="Copy">
                      <parm name="Source" value="\none.exe"/></characteristic></characteristic>
                    <characteristic type="b.exe"><characteristic type="Copy">
                      <parm name="Source" value="\lib.dll"/></characteristic></characteristic>
                  </characteristic>)"),
       "", R"(\Dir\ \Locked\ \Locked\x=x \full\ \full\x=x \lib.dll=L)"},
      {"copy into a missing folder",
       FileOps(R"(<characteristic type="\None"><characteristic type="a.dll">
                    <characteristic type="Copy"><parm name="Source" value="\lib.dll"/>
                    </characteristic></characteristic></characteristic>)"),
       "", R"(\Locked\ \Locked\x=x \full\ \full\x=x \lib.dll=L)"},
      {"delete of a read-only file",
       FileOps(R"(<characteristic type="\Locked"><characteristic type="x">
                    <characteristic type="Delete"/></characteristic></characteristic>)"),
       "", R"(\Locked\ \Locked\x=x \full\ \full\x=x \lib.dll=L)"},
      {"delete of a folder that is not empty",
       FileOps(R"(<characteristic type="\"><characteristic type="full">
                    <characteristic type="Delete"/></characteristic></characteristic>)"),
       "", R"(\Locked\ \Locked\x=x \full\ \full\x=x \lib.dll=L)"},
      {"a file where MakeDir would make a folder",
       FileOps(R"(<characteristic type="\LIB.DLL"><characteristic type="MakeDir"/>
                  </characteristic>)"),
       "", R"(\Locked\ \Locked\x=x \full\ \full\x=x \lib.dll=L)"},
      // The registry changes made before the failure are undone; the folder stays.
      {"a registry write, after a file operation",
       R"(<wap-provisioningdoc>
            <characteristic type="FileOperation"><characteristic type="\New">
              <characteristic type="MakeDir"/></characteristic></characteristic>
            <characteristic type="Registry"><characteristic type="HKLM\K">
              <parm name="First" value="1"/><parm name="Fails" value="2"/>
              <parm name="Third" value="3"/></characteristic></characteristic>
          </wap-provisioningdoc>)",
       "",
       R"(\Locked\ \Locked\x=x \New\ \full\ \full\x=x \lib.dll=L)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    World world;
    ASSERT_EQ(world.files.WriteFile(u"\\lib.dll", "L"), kSuccess);
    ASSERT_EQ(world.files.CreateFolder(u"\\full"), kSuccess);
    ASSERT_EQ(world.files.WriteFile(u"\\full\\x", "x"), kSuccess);
    ASSERT_EQ(world.files.CreateFolder(u"\\Locked"), kSuccess);
    ASSERT_EQ(world.files.WriteFile(u"\\Locked\\x", "x"), kSuccess);
    ASSERT_EQ(world.files.SetReadOnly(u"\\Locked\\x"), kSuccess);
    world.registry.failValue = u"Fails";
    EXPECT_EQ(world.Process(c.document), kConfigApplyFailed);
    EXPECT_EQ(world.Registry(), c.registry);
    EXPECT_EQ(world.Files(), c.files);
  }
}

// All registry changes of a document land in one batch, whichever providers hold them.
TEST(ProvisioningTest, RegistryChangesShareOneBatch) {
  World world;
  EXPECT_EQ(world.Process(R"(<wap-provisioningdoc>
      <characteristic type="Registry"><characteristic type="HKLM\A"/></characteristic>
      <characteristic type="FileOperation"><characteristic type="\Dir">
        <characteristic type="MakeDir"/></characteristic></characteristic>
      <characteristic type="Registry"><nocharacteristic type="HKLM\B"/></characteristic>
    </wap-provisioningdoc>)"),
            kSuccess);
  EXPECT_EQ(world.registry.batches, "begin end ");

  World failing;
  failing.registry.failEnd = true;
  EXPECT_EQ(failing.Process(Registry(R"(<characteristic type="HKLM\A">
                                          <parm name="V" value="v"/></characteristic>)")),
            kConfigApplyFailed);
  EXPECT_EQ(failing.registry.batches, "begin end ");
  EXPECT_EQ(failing.Registry(), "");
}

// Scripts hand over any text: whatever it is, the answer is one of the manager's codes
// or success, and it comes back (no crash, no endless work, bounded recursion).
TEST(ProvisioningTest, AnyTextGetsAnAnswer) {
  const std::string sample = R"(<wap-provisioningdoc><characteristic type="Registry">
      <characteristic type="HKLM\A"><parm name="B" value="AQ==" datatype="binary"/>
      <noparm name="C"/><nocharacteristic type="D"/></characteristic></characteristic>
      <characteristic type="FileOperation"><characteristic type="\E">
      <characteristic type="MakeDir"/><characteristic type="f"><characteristic type="Copy">
      <parm name="Source" value="\g"/></characteristic></characteristic></characteristic>
      </characteristic></wap-provisioningdoc>)";
  std::vector<std::u16string> inputs;
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += R"(<characteristic type="Registry">)";
  inputs.push_back(Utf8ToUtf16(deep));
  std::string wide = R"(<characteristic type="Registry"><characteristic type="HKLM\W">)";
  for (int i = 0; i < 20000; ++i) wide += "<parm name=\"v" + std::to_string(i) + "\"/>";
  inputs.push_back(Utf8ToUtf16(wide + "</characteristic></characteristic>"));
  // Mutations of a document that uses every element: bytes changed, cut and repeated.
  std::mt19937 random(20240611);
  for (int i = 0; i < 3000; ++i) {
    std::u16string text = Utf8ToUtf16(sample);
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char16_t>(random() % 0x10000);
          break;
        case 1:
          text.erase(at, random() % 16);
          break;
        default:
          text.insert(at, text.substr(random() % text.size(), random() % 64));
          break;
      }
      if (text.empty()) text = u"<";
    }
    inputs.push_back(std::move(text));
  }
  for (const std::u16string& input : inputs) {
    World world;
    ASSERT_EQ(world.files.WriteFile(u"\\g", "g"), kSuccess);
    const Result result = world.manager.ProcessConfigXml(input);
    EXPECT_TRUE(result == kSuccess || result == kConfigMalformedDocument ||
                result == kConfigUnknownEntry || result == kConfigApplyFailed)
        << std::hex << result << " for " << Utf16ToUtf8(input);
    if (result == kConfigMalformedDocument || result == kConfigUnknownEntry) {
      EXPECT_EQ(world.Registry(), "");
      EXPECT_EQ(world.files.Listing(), "\\g");
    }
  }
}

}  // namespace
}  // namespace varnisk::platform
