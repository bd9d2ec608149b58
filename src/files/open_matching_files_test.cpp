#include "files/open_matching_files.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::files {
namespace {

using engine::FakeApp;

// A device with shortcuts, scripts and a small tree; scripts record that they ran by
// appending their name to %1.
class OpenMatchingFilesTest : public ::testing::Test {
 protected:
  OpenMatchingFilesTest() {
    platform::FakeFileSystem& files = fake_.device.files;
    for (const char16_t* folder : {u"\\Windows", u"\\Card", u"\\Card\\sub", u"\\Card\\.hidden"}) {
      files.CreateFolder(folder);
    }
    for (const char16_t* link : {u"\\Windows\\a.lnk", u"\\Windows\\b.lnk", u"\\Windows\\c.lnk"}) {
      files.WriteFile(link, "");
    }
    files.WriteFile(u"\\Card\\setup.vks", "EVAL 1=%1 setup");
    files.WriteFile(u"\\Card\\one.reg", "REGEDIT4\n[HKLM\\One]");
    files.WriteFile(u"\\Card\\A.REG", "REGEDIT4\n[HKLM\\Upper]");
    files.WriteFile(u"\\Card\\sub\\two.reg", "REGEDIT4\n[HKLM\\Two]");
    files.WriteFile(u"\\Card\\.hidden\\three.reg", "REGEDIT4\n[HKLM\\Three]");
    files.WriteFile(u"\\Card\\sub\\inner.vks", "EVAL 1=%1 inner");
  }

  std::string Machine() {
    std::string listing = platform::RegistryListing(fake_.device.registry,
                                                    platform::RootKey::kLocalMachine);
    for (char& c : listing) {
      if (c == '\n') c = ' ';
    }
    return listing;
  }

  FakeApp fake_;
};

TEST_F(OpenMatchingFilesTest, FilesGoToTheShellWithTheirParameters) {
  EXPECT_EQ(fake_.Run("\\Windows\\*.lnk"), kSuccess);
  EXPECT_EQ(fake_.device.shell.calls,
            (std::vector<std::string>{"open \\Windows\\a.lnk", "open \\Windows\\b.lnk",
                                      "open \\Windows\\c.lnk"}));
  fake_.device.shell.calls.clear();
  fake_.device.files.WriteFile(u"\\Windows\\tool.exe", "");
  fake_.Run("\\Windows\\tool.exe,-a,-b");
  EXPECT_EQ(fake_.device.shell.calls, (std::vector<std::string>{"open \\Windows\\tool.exe -a\x01-b"}));
  // The shell's failure is the line's result.
  fake_.device.shell.result = kErrorNoAssociation;
  EXPECT_EQ(fake_.Run("\\Windows\\a.lnk"), kErrorNoAssociation);
}

TEST_F(OpenMatchingFilesTest, ScriptsAndRegistryScriptsRunByType) {
  EXPECT_EQ(fake_.Run("\\Card\\setup.vks"), kSuccess);
  EXPECT_EQ(fake_.Variable(1), " setup");
  EXPECT_EQ(fake_.Run("\\Card\\missing.vks"), kErrorFileNotFound);
  EXPECT_EQ(fake_.Run("\\Card\\*.reg"), kSuccess);
  EXPECT_EQ(Machine(), "HKLM HKLM\\One HKLM\\Upper");
}

TEST_F(OpenMatchingFilesTest, TheTreeWalkMatchesNamesWithCase) {
  EXPECT_EQ(fake_.Run("!\\Card\\*.reg"), kSuccess);
  EXPECT_EQ(Machine(), "HKLM HKLM\\One HKLM\\Two");
  // From the root: the whole device. The result is the last file visited, which the
  // pattern passes over.
  EXPECT_EQ(fake_.Run("!*.vks"), kErrorFileNotFound);
  EXPECT_EQ(fake_.Variable(1), " setup inner");
}

TEST_F(OpenMatchingFilesTest, PassedOverEntries) {
  // Without "!" a matching folder is passed over; an empty pattern matches nothing.
  EXPECT_EQ(fake_.Run("\\Card\\su*"), kErrorFileNotFound);
  EXPECT_EQ(fake_.Run("\\Windows\\"), kErrorFileNotFound);
  EXPECT_EQ(fake_.Run("\\Nowhere\\*.vks"), kErrorFileNotFound);
  EXPECT_TRUE(fake_.device.shell.calls.empty());
  // A file that no library loads from answers as a missing library does.
  fake_.device.files.WriteFile(u"\\Card\\lib.dll", "");
  EXPECT_EQ(fake_.Run("\\Card\\lib.dll"), kENoInterface);
}

}  // namespace
}  // namespace varnisk::files
