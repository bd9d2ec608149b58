// The behaviour every device file system shares, run against the host one (in a fresh
// temporary folder) and the in-memory fake, so that the fake cannot drift from the host.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake_file_system.h"
#include "platform/host_file_system.h"
#include "platform/file_system_testing.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

// A device on the host: a new temporary folder as its root, removed afterwards.
class HostWorld {
 public:
  HostWorld() {
    std::string pattern = (fs::temp_directory_path() / "varnisk-contract-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    root_ = pattern;
    auto opened = HostFileSystem::Open(root_.string(), "");
    if (!opened) ADD_FAILURE() << opened.error();
    files_ = std::move(*opened);
  }
  ~HostWorld() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  FileSystem& Files() { return *files_; }

  // Takes away every write permission bit, which is what read-only means on the host.
  void SetReadOnly(std::u16string_view storedPath) {
    fs::permissions(
        HostPath(storedPath),
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
        fs::perm_options::remove);
  }

  std::string Listing() const {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      std::string path = "\\" + fs::relative(entry.path(), root_).string();
      std::replace(path.begin(), path.end(), '/', '\\');
      entries.push_back(entry.is_directory() ? path + "\\" : path);
    }
    std::sort(entries.begin(), entries.end());
    std::string out;
    for (const std::string& entry : entries) out += (out.empty() ? "" : " ") + entry;
    return out;
  }

 private:
  fs::path HostPath(std::u16string_view storedPath) const {
    std::string relative = Utf16ToUtf8(storedPath.substr(1));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return root_ / relative;
  }

  fs::path root_;
  std::unique_ptr<HostFileSystem> files_;
};

class FakeWorld {
 public:
  FileSystem& Files() { return files_; }
  void SetReadOnly(std::u16string_view path) {
    ASSERT_EQ(files_.SetReadOnly(path), kSuccess);
  }
  std::string Listing() const { return files_.Listing(); }

 private:
  FakeFileSystem files_;
};

template <typename Device>
class FileSystemContract : public testing::Test {
 protected:
  FileSystem& Files() { return device_.Files(); }

  // The file's bytes, or "error N".
  std::string Read(std::u16string_view path, uint64_t maxBytes = UINT64_MAX) {
    auto bytes = Files().ReadFile(path, maxBytes);
    return bytes ? *bytes : "error " + std::to_string(bytes.error());
  }

  Device device_;
};

class WorldNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, HostWorld> ? "Host" : "Fake";
  }
};

using Worlds = testing::Types<HostWorld, FakeWorld>;
TYPED_TEST_SUITE(FileSystemContract, Worlds, WorldNames);

TYPED_TEST(FileSystemContract, NewDeviceHoldsOnlyTheRootFolder) {
  EXPECT_EQ(this->device_.Listing(), "");
  EXPECT_EQ(AttributeNames(this->Files(), u"\\"), "directory");
}

TYPED_TEST(FileSystemContract, WriteThenReadGivesTheBytesBack) {
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"text", "hello\r\n"},
      {"binary with NUL and high bytes", std::string("\0\xff\x80z", 4)},
      {"larger than one read", std::string(300 * 1024, 'x') + "end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(this->Files().WriteFile(u"\\file.bin", c.bytes), kSuccess);
    EXPECT_EQ(this->Read(u"\\file.bin"), c.bytes);
  }
  EXPECT_EQ(AttributeNames(this->Files(), u"\\file.bin"), "archive");
  EXPECT_EQ(this->device_.Listing(), "\\file.bin");
}

TYPED_TEST(FileSystemContract, RewritingAFileReplacesAllOfIt) {
  ASSERT_EQ(this->Files().WriteFile(u"\\a.txt", "a long first text"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\a.txt", "short"), kSuccess);
  EXPECT_EQ(this->Read(u"\\a.txt"), "short");
}

TYPED_TEST(FileSystemContract, LookupIgnoresCaseAndKeepsTheStoredCase) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\DOCS\\ReadMe.Txt", "one"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\docs\\README.TXT", "two"), kSuccess);
  ASSERT_EQ(this->Files().CreateFolder(u"\\dOCS\\Ärger Привет Ωμεγα"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\docs\\ärger пРИВЕТ ΩΜΕΓΑ\\文件.txt", "three"),
            kSuccess);

  EXPECT_EQ(this->device_.Listing(),
            "\\Docs\\ \\Docs\\ReadMe.Txt \\Docs\\Ärger Привет Ωμεγα\\ "
            "\\Docs\\Ärger Привет Ωμεγα\\文件.txt");
  EXPECT_EQ(this->Read(u"\\dOcS\\readme.txt"), "two");
  EXPECT_EQ(this->Read(u"\\DOCS\\ÄRGER привет ωμεγα\\文件.TXT"), "three");
  EXPECT_EQ(AttributeNames(this->Files(), u"\\docs"), "directory");
}

TYPED_TEST(FileSystemContract, DotsNeverLeadAboveTheRoot) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\sub"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\..\\..\\a.txt", "root file"), kSuccess);
  const char16_t* paths[] = {
      u"\\a.txt",
      u"a.txt",
      u"/a.txt",
      u"\\\\a.txt\\",
      u"\\.\\a.txt",
      u"\\..\\a.txt",
      u"..\\..\\..\\a.txt",
      u"\\sub\\..\\a.txt",
      u"\\sub\\..\\..\\A.TXT",
      u"sub/./../../a.txt",
      u"\\nowhere\\..\\a.txt",
  };
  for (const char16_t* path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(this->Read(path), "root file");
  }
  EXPECT_EQ(this->device_.Listing(), "\\a.txt \\sub\\");
}

// Each operation tells a missing last name from a missing (or non-folder) folder above it.
TYPED_TEST(FileSystemContract, MissingFileAndMissingFolderHaveTheirOwnCodes) {
  ASSERT_EQ(this->Files().WriteFile(u"\\a.txt", "x"), kSuccess);
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  enum Operation { kAttributes, kRead, kWrite, kMkdir };
  const struct {
    const char* label;
    Operation operation;
    const char16_t* path;
    Result expected;
  } cases[] = {
      {"attributes of a missing file", kAttributes, u"\\none.txt", kErrorFileNotFound},
      {"attributes in a missing folder", kAttributes, u"\\none\\a.txt", kErrorPathNotFound},
      {"read a missing file", kRead, u"\\docs\\none.txt", kErrorFileNotFound},
      {"read in a missing folder", kRead, u"\\none\\deeper\\a.txt", kErrorPathNotFound},
      {"read below a file", kRead, u"\\a.txt\\b.txt", kErrorPathNotFound},
      {"write in a missing folder", kWrite, u"\\none\\a.txt", kErrorPathNotFound},
      {"write below a file", kWrite, u"\\A.TXT\\b.txt", kErrorPathNotFound},
      {"folder in a missing folder", kMkdir, u"\\none\\sub", kErrorPathNotFound},
      {"folder below a file", kMkdir, u"\\a.txt\\sub", kErrorPathNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Result result = kSuccess;
    switch (c.operation) {
      case kAttributes:
        result = CodeOf(this->Files().GetAttributes(c.path));
        break;
      case kRead:
        result = CodeOf(this->Files().ReadFile(c.path));
        break;
      case kWrite:
        result = this->Files().WriteFile(c.path, "x");
        break;
      case kMkdir:
        result = this->Files().CreateFolder(c.path);
        break;
    }
    EXPECT_EQ(result, c.expected);
  }
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\ \\a.txt");
}

TYPED_TEST(FileSystemContract, CreateFolderRefusesATakenName) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Docs\\a.txt", "x"), kSuccess);
  const char16_t* paths[] = {u"\\Docs", u"\\DOCS\\", u"\\docs\\A.txt", u"\\", u"\\.."};
  for (const char16_t* path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(this->Files().CreateFolder(path), kErrorAlreadyExists);
  }
  EXPECT_EQ(this->Read(u"\\docs\\a.txt"), "x");
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\ \\Docs\\a.txt");
}

TYPED_TEST(FileSystemContract, ReadOnlyFileRefusesWritesAndKeepsItsBytes) {
  ASSERT_EQ(this->Files().WriteFile(u"\\Locked.txt", "keep me"), kSuccess);
  this->device_.SetReadOnly(u"\\Locked.txt");
  EXPECT_EQ(AttributeNames(this->Files(), u"\\locked.txt"), "readonly archive");
  EXPECT_EQ(this->Files().WriteFile(u"\\LOCKED.TXT", "lost"), kErrorAccessDenied);
  EXPECT_EQ(this->Files().WriteFile(u"\\Locked.txt", ""), kErrorAccessDenied);
  EXPECT_EQ(this->Read(u"\\locked.txt"), "keep me");
}

TYPED_TEST(FileSystemContract, ReadOnlyFolderIsReportedAndStillHoldsNewFiles) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Shelf"), kSuccess);
  this->device_.SetReadOnly(u"\\Shelf");
  EXPECT_EQ(AttributeNames(this->Files(), u"\\shelf"), "readonly directory");
  EXPECT_EQ(this->Files().WriteFile(u"\\shelf\\new.txt", "x"), kSuccess);
  EXPECT_EQ(this->Files().CreateFolder(u"\\shelf\\Sub"), kSuccess);
}

TYPED_TEST(FileSystemContract, FoldersAreNeitherReadNorWrittenAsFiles) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  EXPECT_EQ(this->Read(u"\\docs"), "error 5");
  EXPECT_EQ(this->Read(u"\\"), "error 5");
  EXPECT_EQ(this->Files().WriteFile(u"\\DOCS", "x"), kErrorAccessDenied);
  EXPECT_EQ(this->Files().WriteFile(u"\\", "x"), kErrorAccessDenied);
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\");
}

TYPED_TEST(FileSystemContract, ReadStopsAtMaxBytes) {
  ASSERT_EQ(this->Files().WriteFile(u"\\a.txt", "hello"), kSuccess);
  const struct {
    const char* label;
    uint64_t maxBytes;
    std::string expected;
  } cases[] = {
      {"none", 0, ""},
      {"some", 3, "hel"},
      {"exactly all", 5, "hello"},
      {"more than there is", 1000, "hello"},
      {"no limit", UINT64_MAX, "hello"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(this->Read(u"\\a.txt", c.maxBytes), c.expected);
  }
}

TYPED_TEST(FileSystemContract, NamesTheDeviceRefusesAreInvalid) {
  const std::u16string paths[] = {
      u"\\a*.txt",    u"\\a?.txt", u"\\a<b",
      u"\\a>b",       u"\\a|b",    u"\\a:b",
      u"\\a\"b",      u"\\a\tb",   std::u16string(u"\\a\0b", 4),
      u"\\ok\\a*\\b",
  };
  for (const std::u16string& path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(this->Files().WriteFile(path, "x"), kErrorInvalidName);
    EXPECT_EQ(this->Files().CreateFolder(path), kErrorInvalidName);
    EXPECT_EQ(this->Read(path), "error 123");
    EXPECT_EQ(CodeOf(this->Files().GetAttributes(path)), kErrorInvalidName);
  }
  EXPECT_EQ(this->device_.Listing(), "");
}

// A host folder holds names of at most 255 UTF-8 bytes.
TYPED_TEST(FileSystemContract, OverlongNameIsOutOfRange) {
  const std::u16string longest = u"\\" + std::u16string(255, u'n');
  const std::u16string tooLong = u"\\" + std::u16string(256, u'n');
  const std::u16string tooLongInBytes = u"\\" + std::u16string(128, u'ä');
  EXPECT_EQ(this->Files().WriteFile(longest, "x"), kSuccess);
  for (const std::u16string& path : {tooLong, tooLongInBytes}) {
    EXPECT_EQ(this->Files().WriteFile(path, "x"), kErrorFilenameExcedRange);
    EXPECT_EQ(this->Files().CreateFolder(path), kErrorFilenameExcedRange);
    EXPECT_EQ(this->Read(path), "error 206");
  }
}

// Each refusal leaves the device as it was.
TYPED_TEST(FileSystemContract, DeleteFileAndRemoveFolderRefuseAsTheDeviceDoes) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Docs\\a.txt", "x"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Locked.txt", "keep"), kSuccess);
  ASSERT_EQ(this->Files().CreateFolder(u"\\LockedDir"), kSuccess);
  this->device_.SetReadOnly(u"\\Locked.txt");
  this->device_.SetReadOnly(u"\\LockedDir");
  const std::string before = this->device_.Listing();
  enum Operation { kDelete, kRemoveFolder };
  const struct {
    const char* label;
    Operation operation;
    const char16_t* path;
    Result expected;
  } cases[] = {
      {"delete a folder", kDelete, u"\\DOCS", kErrorAccessDenied},
      {"delete the root", kDelete, u"\\", kErrorAccessDenied},
      {"delete a read-only file", kDelete, u"\\locked.TXT", kErrorAccessDenied},
      {"delete a missing file", kDelete, u"\\docs\\none.txt", kErrorFileNotFound},
      {"delete in a missing folder", kDelete, u"\\none\\a.txt", kErrorPathNotFound},
      {"delete below a file", kDelete, u"\\docs\\a.txt\\b", kErrorPathNotFound},
      {"delete an invalid name", kDelete, u"\\docs\\a*.txt", kErrorInvalidName},
      {"remove a folder holding a file", kRemoveFolder, u"\\docs", kErrorDirNotEmpty},
      {"remove a file", kRemoveFolder, u"\\Docs\\A.txt", kErrorAccessDenied},
      {"remove the root", kRemoveFolder, u"\\..", kErrorAccessDenied},
      {"remove a read-only folder", kRemoveFolder, u"\\lockeddir", kErrorAccessDenied},
      {"remove a missing folder", kRemoveFolder, u"\\none", kErrorFileNotFound},
      {"remove in a missing folder", kRemoveFolder, u"\\none\\sub", kErrorPathNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.operation == kDelete ? this->Files().DeleteFile(c.path)
                                     : this->Files().RemoveFolder(c.path),
              c.expected);
  }
  EXPECT_EQ(this->device_.Listing(), before);
  EXPECT_EQ(this->Read(u"\\Locked.txt"), "keep");
}

// Names are looked up without regard to case; once gone, a name is free in any case.
TYPED_TEST(FileSystemContract, DeletedNamesAreGoneAndFreeAgain) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs\\Sub"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Docs\\ReadMe.txt", "x"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Docs\\Other.txt", "y"), kSuccess);
  EXPECT_EQ(AttributeNames(this->Files(), u"\\DOCS\\README.TXT"), "archive");

  EXPECT_EQ(this->Files().DeleteFile(u"\\docs\\readme.TXT"), kSuccess);
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\ \\Docs\\Other.txt \\Docs\\Sub\\");
  EXPECT_EQ(AttributeNames(this->Files(), u"\\DOCS\\README.TXT"), "error 2");
  EXPECT_EQ(this->Files().DeleteFile(u"\\Docs\\ReadMe.txt"), kErrorFileNotFound);
  EXPECT_EQ(this->Files().RemoveFolder(u"\\DOCS\\SUB"), kSuccess);
  EXPECT_EQ(this->Files().RemoveFolder(u"\\docs\\sub"), kErrorFileNotFound);
  EXPECT_EQ(this->Files().CreateFolder(u"\\docs\\README.txt"), kSuccess);
  EXPECT_EQ(this->Files().WriteFile(u"\\DOCS\\sub", "now a file"), kSuccess);
  EXPECT_EQ(this->device_.Listing(),
            "\\Docs\\ \\Docs\\Other.txt \\Docs\\README.txt\\ \\Docs\\sub");
  EXPECT_EQ(this->Read(u"\\Docs\\Other.txt"), "y");

  for (const char16_t* file : {u"\\docs\\other.txt", u"\\docs\\SUB"}) {
    EXPECT_EQ(this->Files().DeleteFile(file), kSuccess);
  }
  EXPECT_EQ(this->Files().RemoveFolder(u"\\Docs\\readme.txt"), kSuccess);
  EXPECT_EQ(this->Files().RemoveFolder(u"\\docs"), kSuccess);
  EXPECT_EQ(this->device_.Listing(), "");
}

// What only the fake promises: its record of calls, its set-up helpers, its faults.
TEST(FakeFileSystemTest, RecordsEachCallWithThePathAsWritten) {
  FakeFileSystem files;
  FileSystem& device = files;
  (void)device.CreateFolder(u"\\A");
  (void)device.WriteFile(u"\\a\\x.txt", "1");
  (void)device.ReadFile(u"\\A\\X.TXT", 1);
  (void)device.GetAttributes(u"\\B");
  (void)device.DeleteFile(u"\\a\\X.txt");
  (void)device.RemoveFolder(u"\\a");
  EXPECT_EQ(files.Calls(),
            (std::vector<std::string>{"mkdir \\A", "write \\a\\x.txt", "read \\A\\X.TXT",
                                      "attributes \\B", "delete \\a\\X.txt", "rmdir \\a"}));
  files.ClearCalls();
  EXPECT_TRUE(files.Calls().empty());
}

TEST(FakeFileSystemTest, SetReadOnlyNeedsAnExistingEntryAndCanBeUndone) {
  FakeFileSystem files;
  EXPECT_EQ(files.SetReadOnly(u"\\none.txt"), kErrorFileNotFound);
  EXPECT_EQ(files.SetReadOnly(u"\\none\\a.txt"), kErrorPathNotFound);
  ASSERT_EQ(files.WriteFile(u"\\a.txt", "x"), kSuccess);
  ASSERT_EQ(files.SetReadOnly(u"\\A.TXT"), kSuccess);
  EXPECT_EQ(files.WriteFile(u"\\a.txt", "y"), kErrorAccessDenied);
  ASSERT_EQ(files.SetReadOnly(u"\\a.txt", false), kSuccess);
  EXPECT_EQ(files.WriteFile(u"\\a.txt", "y"), kSuccess);
}

TEST(FakeFileSystemTest, FailedCallChangesNothing) {
  FakeFileSystem files;
  ASSERT_EQ(files.WriteFile(u"\\x.txt", "old"), kSuccess);
  files.FailCall("write \\x.txt", kErrorWriteFault);
  files.FailCall("read \\y.txt", kErrorReadFault);
  files.FailCall("delete \\x.txt", kErrorAccessDenied);
  EXPECT_EQ(files.WriteFile(u"\\x.txt", "new"), kErrorWriteFault);
  EXPECT_EQ(files.DeleteFile(u"\\x.txt"), kErrorAccessDenied);
  EXPECT_EQ(CodeOf(files.ReadFile(u"\\y.txt", UINT64_MAX)), kErrorReadFault);
  EXPECT_EQ(files.WriteFile(u"\\X.TXT", "other spelling"), kSuccess);
  EXPECT_EQ(files.Listing(), "\\x.txt");
}

}  // namespace
}  // namespace varnisk::platform
