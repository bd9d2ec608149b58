#include "files/file_command.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::files {
namespace {

using engine::FakeApp;

// A device holding \A\x.txt, \A\y.TXT, \A\sub\z.txt, \A\sub\w.dat, \A\.cache\c.txt and
// \Temp\a.txt, \Temp\b.txt.
void Furnish(FakeApp& fake) {
  platform::FakeFileSystem& files = fake.device.files;
  for (const char16_t* folder : {u"\\A", u"\\A\\sub", u"\\A\\.cache", u"\\Temp"}) {
    files.CreateFolder(folder);
  }
  files.WriteFile(u"\\A\\x.txt", "x");
  files.WriteFile(u"\\A\\y.TXT", "y");
  files.WriteFile(u"\\A\\sub\\z.txt", "z");
  files.WriteFile(u"\\A\\sub\\w.dat", "w");
  files.WriteFile(u"\\A\\.cache\\c.txt", "c");
  files.WriteFile(u"\\Temp\\a.txt", "a");
  files.WriteFile(u"\\Temp\\b.txt", "b");
}

constexpr const char* kFurnished =
    "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
    "\\A\\x.txt \\A\\y.TXT \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt";

// The listing without the furnished entries of \A and \Temp that a case did not touch.
struct FileCase {
  const char* name;
  const char* line;
  Result result;
  const char* listing;
};

void RunCases(std::initializer_list<FileCase> cases) {
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    Furnish(fake);
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(fake.device.files.Listing(), c.listing);
  }
}

TEST(FileCommandTest, Deletes) {
  RunCases({
      {"one file", "FILE \\Temp\\a.txt", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\Temp\\ \\Temp\\b.txt"},
      {"a list", "FILE \\Temp\\a.txt;\\Temp\\b.txt", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\Temp\\"},
      {"a folder with its contents", "FILE \\A", 0, "\\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      {"-> ends the list", "FILE \\Temp\\a.txt->\\Temp\\b.txt", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\Temp\\ \\Temp\\b.txt"},
      {"wildcards in the last name", "FILE \\A\\*.txt", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      {"nothing there", "FILE \\Temp\\none.txt", kErrorFileNotFound, kFurnished},
      {"no trailing backslash is a delete", "FILE \\A\\sub", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\x.txt \\A\\y.TXT \\Temp\\ \\Temp\\a.txt "
       "\\Temp\\b.txt"},
  });
}

TEST(FileCommandTest, Copies) {
  const std::string untouched = kFurnished;
  RunCases({
      {"one file under a new name, folders made", "FILE \\A\\x.txt>\\B\\C\\y.txt", 0,
       ("\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
        "\\A\\x.txt \\A\\y.TXT \\B\\ \\B\\C\\ \\B\\C\\y.txt \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt")},
      {"=> is the same", "FILE \\A\\x.txt=>\\B\\y.txt", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\B\\ \\B\\y.txt \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      {"a pattern in one folder, without case", "FILE \\A\\*.txt>\\B\\", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\B\\ \\B\\x.txt \\B\\y.TXT \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      // The last entry visited, y.TXT, is passed over: the command's result is 2.
      {"a tree with case-sensitive names, dot folders passed over", "FILE !\\A\\*.txt>\\B\\",
       kErrorFileNotFound,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\B\\ \\B\\sub\\ \\B\\sub\\z.txt \\B\\x.txt \\Temp\\ \\Temp\\a.txt "
       "\\Temp\\b.txt"},
      {"a tree onto one file", "FILE !\\A\\*>\\B", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\B \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      {"an empty pattern copies everything", "FILE \\Temp\\>\\B\\", 0,
       "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat \\A\\sub\\z.txt "
       "\\A\\x.txt \\A\\y.TXT \\B\\ \\B\\a.txt \\B\\b.txt \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt"},
      {"the copy after ->", "FILE \\Temp\\a->\\Temp\\b>\\Temp\\c", kErrorFileNotFound,
       untouched.c_str()},
      {"nothing matches", "FILE \\A\\*.zip>\\B\\", kErrorFileNotFound, untouched.c_str()},
      {"folders are passed over without !", "FILE \\A\\sub>\\B\\", kErrorFileNotFound,
       untouched.c_str()},
  });
}

TEST(FileCommandTest, ATreeCopiedIntoItselfIsCopiedOnce) {
  FakeApp fake;
  Furnish(fake);
  // The target already exists, so the walk of \A meets it after the files it copied.
  fake.device.files.CreateFolder(u"\\A\\zCopy");
  EXPECT_EQ(fake.Run("FILE !\\A\\*>\\a\\ZCOPY\\"), kErrorFileNotFound);
  EXPECT_EQ(fake.device.files.Listing(),
            "\\A\\ \\A\\.cache\\ \\A\\.cache\\c.txt \\A\\sub\\ \\A\\sub\\w.dat "
            "\\A\\sub\\z.txt \\A\\x.txt \\A\\y.TXT \\A\\zCopy\\ \\A\\zCopy\\sub\\ "
            "\\A\\zCopy\\sub\\w.dat \\A\\zCopy\\sub\\z.txt \\A\\zCopy\\x.txt "
            "\\A\\zCopy\\y.TXT \\Temp\\ \\Temp\\a.txt \\Temp\\b.txt");
}

TEST(FileCommandTest, CopiedBytesAndReadOnlyTargets) {
  FakeApp fake;
  Furnish(fake);
  fake.device.files.WriteFile(u"\\Temp\\locked.txt", "old");
  fake.device.files.SetReadOnly(u"\\Temp\\locked.txt");
  EXPECT_EQ(fake.Run("FILE \\A\\x.txt>\\Temp\\locked.txt"), kSuccess);
  EXPECT_EQ(fake.app.platform.files->ReadFile(u"\\Temp\\locked.txt").value_or("?"), "x");
  // A tree onto one file keeps the last file copied.
  EXPECT_EQ(fake.Run("FILE !\\A\\*>\\one"), kSuccess);
  EXPECT_EQ(fake.app.platform.files->ReadFile(u"\\one").value_or("?"), "y");
}

TEST(FileCommandTest, PathsBeyondTheDevicesLimitArePassedOver) {
  FakeApp fake;
  Furnish(fake);
  const std::string longTarget = "\\" + std::string(200, 'b') + "\\" + std::string(60, 'c');
  EXPECT_EQ(fake.Run("FILE \\A\\x.txt>" + longTarget), kErrorFilenameExcedRange);
  EXPECT_EQ(fake.device.files.Listing(), kFurnished);
}

// A copy the device refuses is written anew; a write that fails there, an empty file's
// included, is the entry's failure, not a success.
TEST(FileCommandTest, AFallbackWriteThatFailsIsReported) {
  const struct {
    const char* label;
    const char* fault;  // the call that fails, besides the copy
    const char* line;
  } cases[] = {
      {"the new file cannot be made", "create \\B.txt", "FILE \\A\\x.txt>\\B.txt"},
      {"its bytes cannot be stored", "close \\B.txt", "FILE \\A\\x.txt>\\B.txt"},
      {"an empty file onto a folder", "", "FILE \\A\\empty.txt>\\Temp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakeApp fake;
    Furnish(fake);
    fake.device.files.WriteFile(u"\\A\\empty.txt", "");
    fake.device.files.FailCall("copy \\A\\x.txt \\B.txt", kErrorAccessDenied);
    if (*c.fault != 0) fake.device.files.FailCall(c.fault, kErrorWriteFault);
    EXPECT_EQ(fake.Run(c.line), kErrorWriteFault);
  }
}

TEST(FileCommandTest, WritesText) {
  struct Case {
    const char* name;
    const char* line;
    Result result;
    std::string bytes;
  } cases[] = {
      {"ANSI append creates the file", "FILE \\Temp\\log.txt<=Line%R%N", 0, "Line\r\n"},
      {"UTF-16 overwrite drops the mode character", "FILE \\Temp\\a.txt{xHello",
       0, std::string("H\0e\0l\0l\0o\0", 10)},
      {"an empty text empties the file and gives 1", "FILE \\Temp\\a.txt< ", 1, ""},
      {"no mode character", "FILE \\Temp\\a.txt<", 1, ""},
      {"a comma arrives as the separator", "FILE \\Temp\\a.txt<=one, two", 0, "aone\x01 two"},
      {"overwrite with <<", "FILE \\Temp\\a.txt<<new", 0, "new"},
      {"UTF-16 append", "FILE \\Temp\\a.txt{=b", 0, std::string("ab\0", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    Furnish(fake);
    EXPECT_EQ(fake.Run(c.line), c.result);
    const std::string file = std::string(c.line).find("log.txt") != std::string::npos
                                 ? "\\Temp\\log.txt" : "\\Temp\\a.txt";
    EXPECT_EQ(fake.app.platform.files->ReadFile(platform::Utf8ToUtf16(file)).value_or("?"), c.bytes);
  }
}

TEST(FileCommandTest, MakesFolders) {
  FakeApp fake;
  EXPECT_EQ(fake.Run("FILE \\A\\B\\C\\"), kSuccess);
  EXPECT_EQ(fake.Run("FILE \\A\\B\\C\\"), kSuccess);
  EXPECT_EQ(fake.device.files.Listing(), "\\A\\ \\A\\B\\ \\A\\B\\C\\");
}

}  // namespace
}  // namespace varnisk::files
