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
#include "platform/gzip_testing.h"
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

// A search's answer as a short string: the names in order, folders ending in "\", or
// "error N".
std::string Search(FileSystem& files, std::u16string_view folder, std::u16string_view pattern) {
  const auto entries = files.FindFiles(folder, pattern);
  if (!entries) return "error " + std::to_string(entries.error());
  std::string out;
  for (const FindEntry& entry : *entries) {
    if (!out.empty()) out += ' ';
    out += Utf16ToUtf8(entry.name);
    if (entry.attributes & kAttributeDirectory) out += '\\';
  }
  return out;
}

TYPED_TEST(FileSystemContract, SearchMatchesWildcardsWithoutRegardToCase) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.CreateFolder(u"\\Docs\\Sub"), kSuccess);
  ASSERT_EQ(files.CreateFolder(u"\\Empty"), kSuccess);
  for (const char16_t* file : {u"\\Docs\\ReadMe.txt", u"\\Docs\\notes.TXT", u"\\Docs\\b.txt",
                               u"\\Docs\\archive.tar.gz", u"\\Docs\\NoDot",
                               u"\\Docs\\Ärger.txt", u"\\Docs\\Sub\\deep.bin"}) {
    ASSERT_EQ(files.WriteFile(file, "x"), kSuccess);
  }
  const struct {
    const char* label;
    const char16_t* folder;
    const char16_t* pattern;
    const char* expected;
  } cases[] = {
      {"star lists every name, sorted without case", u"\\Docs", u"*",
       "archive.tar.gz b.txt NoDot notes.TXT ReadMe.txt Sub\\ Ärger.txt"},
      {"star dot star also lists names without a dot", u"\\docs", u"*.*",
       "archive.tar.gz b.txt NoDot notes.TXT ReadMe.txt Sub\\ Ärger.txt"},
      {"extension in another case", u"\\Docs", u"*.txt", "b.txt notes.TXT ReadMe.txt Ärger.txt"},
      {"question mark is exactly one unit", u"\\Docs", u"?.TXT", "b.txt"},
      {"star inside a name", u"\\Docs", u"r*e.*", "ReadMe.txt"},
      {"star matching nothing", u"\\Docs", u"read*me.txt", "ReadMe.txt"},
      {"several stars", u"\\Docs", u"*a*.*z", "archive.tar.gz"},
      {"name dot star matches the bare name", u"\\Docs", u"nodot.*", "NoDot"},
      {"plain name in another case", u"\\Docs", u"README.TXT", "ReadMe.txt"},
      {"letters beyond ASCII ignore case", u"\\Docs", u"äRGER*", "Ärger.txt"},
      {"folder named in another case", u"\\DOCS\\sub", u"*", "deep.bin"},
      {"empty folder path is the root", u"", u"*", "Docs\\ Empty\\"},
      {"backslash is the root", u"\\", u"*.*", "Docs\\ Empty\\"},
      {"nothing matches", u"\\Docs", u"*.none", "error 2"},
      {"question mark needs a unit", u"\\Docs", u"??.txt", "error 2"},
      {"empty pattern matches nothing", u"\\Docs", u"", "error 2"},
      {"empty folder", u"\\Empty", u"*", "error 2"},
      {"missing folder", u"\\None", u"*", "error 3"},
      {"below a missing folder", u"\\None\\Sub", u"*", "error 3"},
      {"a file is no folder", u"\\Docs\\b.txt", u"*", "error 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Search(files, c.folder, c.pattern), c.expected);
  }
}

TYPED_TEST(FileSystemContract, SearchGivesTheAttributesOfEachEntry) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Open"), kSuccess);
  ASSERT_EQ(files.CreateFolder(u"\\Shut"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\free.txt", "x"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\locked.txt", "x"), kSuccess);
  this->device_.SetReadOnly(u"\\Shut");
  this->device_.SetReadOnly(u"\\locked.txt");
  const auto entries = files.FindFiles(u"\\", u"*");
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 4u);
  for (const FindEntry& entry : *entries) {
    SCOPED_TRACE(Utf16ToUtf8(entry.name));
    EXPECT_EQ(entry.attributes, *files.GetAttributes(u"\\" + entry.name));
  }
  EXPECT_EQ((*entries)[3].attributes, kAttributeDirectory | kAttributeReadOnly);
  EXPECT_EQ((*entries)[1].attributes, kAttributeArchive | kAttributeReadOnly);
}

TYPED_TEST(FileSystemContract, CopyGivesTheDestinationTheSourceBytes) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Docs\\Target.bin", std::string(100000, 'o')), kSuccess);
  const struct {
    const char* label;
    std::string bytes;
    const char16_t* destination;
  } cases[] = {
      {"empty file to a new name", "", u"\\docs\\new.bin"},
      {"binary bytes to a new name", std::string("\0\xff\x80z", 4), u"\\Docs\\other.bin"},
      {"larger than one transfer", std::string(3 << 20, 'x') + "end", u"\\Docs\\big.bin"},
      {"onto a longer file, named in another case", "short", u"\\DOCS\\TARGET.BIN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(files.WriteFile(u"\\Source.bin", c.bytes), kSuccess);
    EXPECT_EQ(files.CopyFile(u"\\SOURCE.bin", c.destination), kSuccess);
    EXPECT_EQ(this->Read(c.destination), c.bytes);
    EXPECT_EQ(this->Read(u"\\source.bin"), c.bytes);
  }
  EXPECT_EQ(this->device_.Listing(),
            "\\Docs\\ \\Docs\\Target.bin \\Docs\\big.bin \\Docs\\new.bin \\Docs\\other.bin "
            "\\Source.bin");
}

// The copy carries the source's read-only attribute, as the device's copy does.
TYPED_TEST(FileSystemContract, CopyKeepsTheSourceReadOnly) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.WriteFile(u"\\locked.txt", "keep"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\was free.txt", "old bytes"), kSuccess);
  this->device_.SetReadOnly(u"\\locked.txt");
  EXPECT_EQ(files.CopyFile(u"\\locked.txt", u"\\copy.txt"), kSuccess);
  EXPECT_EQ(files.CopyFile(u"\\locked.txt", u"\\was free.txt"), kSuccess);
  EXPECT_EQ(AttributeNames(files, u"\\copy.txt"), "readonly archive");
  EXPECT_EQ(AttributeNames(files, u"\\was free.txt"), "readonly archive");
  EXPECT_EQ(this->Read(u"\\was free.txt"), "keep");
  ASSERT_EQ(files.SetAttributes(u"\\copy.txt", 0), kSuccess);
  EXPECT_EQ(files.CopyFile(u"\\copy.txt", u"\\free copy.txt"), kSuccess);
  EXPECT_EQ(AttributeNames(files, u"\\free copy.txt"), "archive");
}

// Each refusal leaves every file as it was.
TYPED_TEST(FileSystemContract, CopyRefusesAsTheDeviceDoes) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\a.txt", "source"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Locked.txt", "keep"), kSuccess);
  this->device_.SetReadOnly(u"\\Locked.txt");
  const std::string before = this->device_.Listing();
  const struct {
    const char* label;
    const char16_t* source;
    const char16_t* destination;
    Result expected;
  } cases[] = {
      {"missing source", u"\\none.txt", u"\\b.txt", kErrorFileNotFound},
      {"source in a missing folder", u"\\none\\a.txt", u"\\b.txt", kErrorPathNotFound},
      {"destination in a missing folder", u"\\a.txt", u"\\none\\b.txt", kErrorPathNotFound},
      {"destination below a file", u"\\a.txt", u"\\a.txt\\b.txt", kErrorPathNotFound},
      {"source is a folder", u"\\Docs", u"\\b.txt", kErrorAccessDenied},
      {"destination is a folder", u"\\a.txt", u"\\docs", kErrorAccessDenied},
      {"destination is the root", u"\\a.txt", u"\\", kErrorAccessDenied},
      {"destination is read-only", u"\\a.txt", u"\\LOCKED.txt", kErrorAccessDenied},
      {"onto itself", u"\\a.txt", u"\\A.TXT", kErrorAccessDenied},
      {"invalid destination name", u"\\a.txt", u"\\b?.txt", kErrorInvalidName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(files.CopyFile(c.source, c.destination), c.expected);
  }
  EXPECT_EQ(this->device_.Listing(), before);
  EXPECT_EQ(this->Read(u"\\a.txt"), "source");
  EXPECT_EQ(this->Read(u"\\Locked.txt"), "keep");
}

// A folder's files copied together: each answers as its own copy would, in order, and
// names already taken in some case are overwritten, never doubled.
TYPED_TEST(FileSystemContract, CopiedTogetherEachFileAnswersAsAlone) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\From"), kSuccess);
  ASSERT_EQ(files.CreateFolder(u"\\To"), kSuccess);
  std::vector<FileSystem::FileCopy> copies;
  for (int i = 0; i < 20; ++i) {
    const std::u16string name = u"f" + Utf8ToUtf16(std::to_string(i)) + u".txt";
    ASSERT_EQ(files.WriteFile(u"\\From\\" + name, std::string(i * 1000, 'a' + i % 26)),
              kSuccess);
    copies.push_back({u"\\From\\" + name, u"\\To\\" + name});
  }
  ASSERT_EQ(files.WriteFile(u"\\To\\F3.TXT", "older"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\To\\f4.txt", "locked"), kSuccess);
  this->device_.SetReadOnly(u"\\To\\f4.txt");
  this->device_.SetReadOnly(u"\\From\\f5.txt");
  copies[6].source = u"\\From\\missing.txt";
  copies[7].destination = u"\\To\\f8.txt";  // a second copy onto one name: the last wins
  ASSERT_EQ(files.CreateFolder(u"\\Other"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Other\\z.txt", "from another folder"), kSuccess);
  copies[9] = {u"\\Other\\z.txt", u"\\To\\f10.txt"};  // and when the first is not batched
  copies.push_back({u"\\From\\f9.txt", u"\\To\\bad?.txt"});

  const std::vector<Result> results = files.CopyFiles(copies);
  std::vector<Result> expected(copies.size(), kSuccess);
  expected[4] = kErrorAccessDenied;
  expected[6] = kErrorFileNotFound;
  expected[20] = kErrorInvalidName;
  EXPECT_EQ(results, expected);
  EXPECT_EQ(this->Read(u"\\To\\f3.txt"), std::string(3000, 'd'));
  EXPECT_EQ(this->Read(u"\\To\\f4.txt"), "locked");
  EXPECT_EQ(AttributeNames(files, u"\\To\\f5.txt"), "readonly archive");
  EXPECT_EQ(this->Read(u"\\To\\f8.txt"), std::string(8000, 'i'));
  EXPECT_EQ(this->Read(u"\\To\\f10.txt"), std::string(10000, 'k'));
  EXPECT_EQ(this->Read(u"\\To\\f19.txt"), std::string(19000, 't'));
  std::string listing = this->device_.Listing();
  EXPECT_NE(listing.find("\\To\\F3.TXT"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("\\To\\f3.txt"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("\\To\\f6.txt"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("\\To\\f7.txt"), std::string::npos) << listing;
}

TYPED_TEST(FileSystemContract, AppendCreatesOrExtendsAFile) {
  FileSystem& files = this->Files();
  EXPECT_EQ(files.AppendFile(u"\\Log.txt", "one\n"), kSuccess);
  EXPECT_EQ(files.AppendFile(u"\\LOG.TXT", ""), kSuccess);
  EXPECT_EQ(files.AppendFile(u"\\log.txt", "two\n"), kSuccess);
  EXPECT_EQ(this->Read(u"\\Log.txt"), "one\ntwo\n");
  EXPECT_EQ(this->device_.Listing(), "\\Log.txt");
}

TYPED_TEST(FileSystemContract, AppendRefusesAsWriteDoes) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Locked.txt", "keep"), kSuccess);
  this->device_.SetReadOnly(u"\\Locked.txt");
  const struct {
    const char* label;
    const char16_t* path;
    Result expected;
  } cases[] = {
      {"read-only file", u"\\locked.txt", kErrorAccessDenied},
      {"folder", u"\\DOCS", kErrorAccessDenied},
      {"root", u"\\", kErrorAccessDenied},
      {"missing folder", u"\\none\\log.txt", kErrorPathNotFound},
      {"invalid name", u"\\log|.txt", kErrorInvalidName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(files.AppendFile(c.path, "lost"), c.expected);
  }
  EXPECT_EQ(this->Read(u"\\Locked.txt"), "keep");
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\ \\Locked.txt");
}

TYPED_TEST(FileSystemContract, SetAttributesChangesOnlyReadOnly) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Docs\\a.txt", "x"), kSuccess);
  const struct {
    const char* label;
    const char16_t* path;
    uint32_t attributes;
    Result expected;
    const char* after;
  } cases[] = {
      {"file made read-only", u"\\DOCS\\A.TXT", kAttributeReadOnly, kSuccess, "readonly archive"},
      {"read-only again", u"\\docs\\a.txt", kAttributeReadOnly | kAttributeArchive, kSuccess,
       "readonly archive"},
      {"file made writable", u"\\docs\\a.txt", kAttributeNormal, kSuccess, "archive"},
      {"other attributes have no effect", u"\\docs\\a.txt",
       kAttributeHidden | kAttributeArchive | kAttributeDirectory, kSuccess, "archive"},
      {"folder made read-only", u"\\docs", kAttributeReadOnly, kSuccess, "readonly directory"},
      {"folder made writable", u"\\Docs", 0, kSuccess, "directory"},
      {"missing file", u"\\docs\\none.txt", kAttributeReadOnly, kErrorFileNotFound, "error 2"},
      {"missing folder", u"\\none\\a.txt", kAttributeReadOnly, kErrorPathNotFound, "error 3"},
      {"the root", u"\\", kAttributeReadOnly, kErrorAccessDenied, "directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(files.SetAttributes(c.path, c.attributes), c.expected);
    EXPECT_EQ(AttributeNames(files, c.path), c.after);
  }
  ASSERT_EQ(files.SetAttributes(u"\\docs\\a.txt", kAttributeReadOnly), kSuccess);
  EXPECT_EQ(files.WriteFile(u"\\docs\\a.txt", "lost"), kErrorAccessDenied);
  ASSERT_EQ(files.SetAttributes(u"\\docs\\a.txt", 0), kSuccess);
  EXPECT_EQ(files.WriteFile(u"\\docs\\a.txt", "new"), kSuccess);
  EXPECT_EQ(this->Read(u"\\Docs\\a.txt"), "new");
}

// Every row starts from the same tree, on a device of its own.
TYPED_TEST(FileSystemContract, DeleteTreeRemovesWhatItNames) {
  const struct {
    const char* label;
    const char16_t* path;
    Result expected;
    const char* after;
  } cases[] = {
      {"a file", u"\\KEEP.txt", kSuccess,
       "\\Docs\\ \\Docs\\Sub\\ \\Docs\\Sub\\Deeper\\ \\Docs\\Sub\\Deeper\\c.txt "
       "\\Docs\\Sub\\b.txt \\Docs\\a.txt \\other.log"},
      {"a folder with everything below it, read-only entries too", u"\\docs\\", kSuccess,
       "\\Keep.txt \\other.log"},
      {"a read-only file", u"\\Docs\\SUB\\b.txt", kSuccess,
       "\\Docs\\ \\Docs\\Sub\\ \\Docs\\Sub\\Deeper\\ \\Docs\\Sub\\Deeper\\c.txt "
       "\\Docs\\a.txt \\Keep.txt \\other.log"},
      {"every entry of a folder", u"\\docs\\sub\\*", kSuccess,
       "\\Docs\\ \\Docs\\Sub\\ \\Docs\\a.txt \\Keep.txt \\other.log"},
      {"files matching a pattern", u"\\*.TXT", kSuccess,
       "\\Docs\\ \\Docs\\Sub\\ \\Docs\\Sub\\Deeper\\ \\Docs\\Sub\\Deeper\\c.txt "
       "\\Docs\\Sub\\b.txt \\Docs\\a.txt \\other.log"},
      {"files and folders matching a pattern", u"\\*O*", kSuccess, "\\Keep.txt"},
      {"everything", u"\\*.*", kSuccess, ""},
      {"nothing matches", u"\\*.none", kErrorFileNotFound, nullptr},
      {"missing name", u"\\none", kErrorFileNotFound, nullptr},
      {"missing folder above", u"\\none\\a.txt", kErrorPathNotFound, nullptr},
      {"pattern in a missing folder", u"\\none\\*", kErrorPathNotFound, nullptr},
      {"pattern below a file", u"\\keep.txt\\*", kErrorPathNotFound, nullptr},
      {"the root", u"\\", kErrorAccessDenied, nullptr},
      {"the root through dots", u"\\Docs\\..", kErrorAccessDenied, nullptr},
      {"wildcard before the last name", u"\\D*\\a.txt", kErrorInvalidName, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TypeParam device;
    FileSystem& files = device.Files();
    ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
    ASSERT_EQ(files.CreateFolder(u"\\Docs\\Sub"), kSuccess);
    ASSERT_EQ(files.CreateFolder(u"\\Docs\\Sub\\Deeper"), kSuccess);
    for (const char16_t* file : {u"\\Docs\\a.txt", u"\\Docs\\Sub\\b.txt",
                                 u"\\Docs\\Sub\\Deeper\\c.txt", u"\\Keep.txt", u"\\other.log"}) {
      ASSERT_EQ(files.WriteFile(file, "x"), kSuccess);
    }
    device.SetReadOnly(u"\\Docs\\Sub\\b.txt");
    device.SetReadOnly(u"\\Docs\\Sub\\Deeper");
    const std::string before = device.Listing();
    EXPECT_EQ(files.DeleteTree(c.path), c.expected);
    EXPECT_EQ(device.Listing(), c.after ? c.after : before);
  }
}

// Names a deletion took are free again in any case, and lookups no longer find them.
TYPED_TEST(FileSystemContract, DeletedTreeLeavesNoNamesBehind) {
  FileSystem& files = this->Files();
  ASSERT_EQ(files.CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(files.CreateFolder(u"\\Docs\\Sub"), kSuccess);
  ASSERT_EQ(files.WriteFile(u"\\Docs\\Sub\\a.txt", "x"), kSuccess);
  EXPECT_EQ(AttributeNames(files, u"\\DOCS\\SUB\\A.TXT"), "archive");
  ASSERT_EQ(files.DeleteTree(u"\\DOCS"), kSuccess);
  EXPECT_EQ(AttributeNames(files, u"\\docs"), "error 2");
  EXPECT_EQ(AttributeNames(files, u"\\DOCS\\SUB\\A.TXT"), "error 3");
  EXPECT_EQ(files.WriteFile(u"\\docs\\b.txt", "x"), kErrorPathNotFound);
  EXPECT_EQ(files.CreateFolder(u"\\dOCS"), kSuccess);
  EXPECT_EQ(files.CreateFolder(u"\\Docs\\SUB"), kSuccess);
  EXPECT_EQ(Search(files, u"\\docs\\sub", u"*"), "error 2");
  EXPECT_EQ(this->device_.Listing(), "\\dOCS\\ \\dOCS\\SUB\\");
}

// Everything a gzip reader gives, read in pieces of 512 bytes as the tar reader reads; a
// piece shorter than 512 bytes must be the last one with bytes. "error N" when a read
// fails.
std::string ReadAllGzip(FileSystem& files, std::u16string_view path) {
  auto reader = files.OpenGzipReader(path);
  if (!reader) return "error " + std::to_string(reader.error());
  std::string out;
  bool ended = false;
  for (;;) {
    char piece[512];
    const auto n = (*reader)->Read(piece, sizeof piece);
    if (!n) return "error " + std::to_string(n.error());
    if (*n == 0) return out;
    if (ended) return "bytes after a short piece";
    ended = *n < sizeof piece;
    out.append(piece, *n);
  }
}

// Text that compresses, long enough to fill zlib's buffers several times.
std::string Sample(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  text.resize(size);
  return text;
}

TYPED_TEST(FileSystemContract, GzipReaderGivesTheStoredBytes) {
  const std::string text = Sample(300 * 1024);
  const struct {
    const char* label;
    std::string file;
    std::string expected;
  } cases[] = {
      {"empty file", "", ""},
      {"stored as it is", text, text},
      {"one byte of the signature only", "\x1f", "\x1f"},
      {"compressed", Gzip(text), text},
      {"compressed, empty", Gzip(""), ""},
      {"two members one after another", Gzip("first ") + Gzip("second"), "first second"},
      {"bytes after the last member are ignored", Gzip("data") + "trailing junk", "data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(this->Files().WriteFile(u"\\a.tgz", c.file), kSuccess);
    EXPECT_EQ(ReadAllGzip(this->Files(), u"\\A.TGZ"), c.expected);
  }
}

TYPED_TEST(FileSystemContract, GzipReaderEndsWhereCompressedDataIsCut) {
  const std::string text = Sample(200 * 1024);
  const std::string packed = Gzip(text);
  for (size_t cut : {size_t{5}, size_t{30}, packed.size() / 2, packed.size() - 4}) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(this->Files().WriteFile(u"\\a.tgz", packed.substr(0, cut)), kSuccess);
    const std::string got = ReadAllGzip(this->Files(), u"\\a.tgz");
    EXPECT_EQ(got, text.substr(0, got.size()));
  }
}

TYPED_TEST(FileSystemContract, GzipReaderFailsOnCorruptDataAndStaysFailed) {
  std::string badMethod = Gzip("data");
  badMethod[2] = 9;  // not deflate
  std::string badCheck = Gzip(Sample(4000));
  badCheck[badCheck.size() - 6] ^= 0x55;  // in the CRC of the data
  for (const std::string& file : {badMethod, badCheck}) {
    ASSERT_EQ(this->Files().WriteFile(u"\\a.tgz", file), kSuccess);
    auto reader = this->Files().OpenGzipReader(u"\\a.tgz");
    ASSERT_TRUE(reader);
    char piece[512];
    Result failure = kSuccess;
    for (int i = 0; i < 20 && failure == kSuccess; ++i) {
      failure = CodeOf((*reader)->Read(piece, sizeof piece));
    }
    EXPECT_EQ(failure, kErrorReadFault);
    EXPECT_EQ(CodeOf((*reader)->Read(piece, sizeof piece)), kErrorReadFault);
  }
}

TYPED_TEST(FileSystemContract, GzipReaderOpensOnlyFiles) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  EXPECT_EQ(ReadAllGzip(this->Files(), u"\\docs"), "error 5");
  EXPECT_EQ(ReadAllGzip(this->Files(), u"\\Docs\\none.tgz"), "error 2");
  EXPECT_EQ(ReadAllGzip(this->Files(), u"\\none\\a.tgz"), "error 3");
  EXPECT_EQ(ReadAllGzip(this->Files(), u"\\a?.tgz"), "error 123");
}

TYPED_TEST(FileSystemContract, FileWriterStoresItsPiecesInOrder) {
  ASSERT_EQ(this->Files().WriteFile(u"\\a.bin", "a much longer old content"), kSuccess);
  const std::string big = Sample(300 * 1024);
  auto writer = this->Files().CreateFileWriter(u"\\A.BIN");
  ASSERT_TRUE(writer);
  EXPECT_EQ(this->Read(u"\\a.bin"), "");  // emptied at once
  std::string expected;
  for (std::string_view piece : {std::string_view("head"), std::string_view(big),
                                 std::string_view(big).substr(0, 512), std::string_view(""),
                                 std::string_view("tail")}) {
    EXPECT_EQ((*writer)->Write(piece), kSuccess);
    expected += piece;
  }
  EXPECT_EQ((*writer)->Close(), kSuccess);
  EXPECT_EQ(this->Read(u"\\a.bin"), expected);
  EXPECT_EQ(this->device_.Listing(), "\\a.bin");

  // Without Close the pieces still arrive when the writer goes.
  auto unclosed = this->Files().CreateFileWriter(u"\\b.bin");
  ASSERT_TRUE(unclosed);
  EXPECT_EQ((*unclosed)->Write("kept"), kSuccess);
  unclosed->reset();
  EXPECT_EQ(this->Read(u"\\b.bin"), "kept");
}

TYPED_TEST(FileSystemContract, FileWriterRefusesAsWriteFileDoes) {
  ASSERT_EQ(this->Files().CreateFolder(u"\\Docs"), kSuccess);
  ASSERT_EQ(this->Files().WriteFile(u"\\Locked.txt", "keep"), kSuccess);
  this->device_.SetReadOnly(u"\\Locked.txt");
  const struct {
    const char* label;
    const char16_t* path;
    Result expected;
  } cases[] = {
      {"a folder", u"\\docs", kErrorAccessDenied},
      {"the root", u"\\", kErrorAccessDenied},
      {"a read-only file", u"\\locked.txt", kErrorAccessDenied},
      {"in a missing folder", u"\\none\\a.txt", kErrorPathNotFound},
      {"an invalid name", u"\\docs\\a|b", kErrorInvalidName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(CodeOf(this->Files().CreateFileWriter(c.path)), c.expected);
  }
  EXPECT_EQ(this->Read(u"\\Locked.txt"), "keep");
  EXPECT_EQ(this->device_.Listing(), "\\Docs\\ \\Locked.txt");
}

// What only the fake promises: its record of calls, its set-up helpers, its faults.
TEST(FakeFileSystemTest, RecordsEachCallWithThePathAsWritten) {
  FakeFileSystem files;
  FileSystem& device = files;
  (void)device.CreateFolder(u"\\A");
  (void)device.WriteFile(u"\\a\\x.txt", "1");
  (void)device.ReadFile(u"\\A\\X.TXT", 1);
  (void)device.GetAttributes(u"\\B");
  (void)device.FindFiles(u"\\A", u"*.TXT");
  (void)device.CopyFile(u"\\a\\x.txt", u"\\Y.txt");
  (void)device.AppendFile(u"\\y.txt", "2");
  (void)device.SetAttributes(u"\\Y.TXT", kAttributeReadOnly);
  (void)device.DeleteFile(u"\\a\\X.txt");
  (void)device.RemoveFolder(u"\\a");
  (void)device.DeleteTree(u"\\*.txt");
  EXPECT_EQ(files.Calls(),
            (std::vector<std::string>{"mkdir \\A", "write \\a\\x.txt", "read \\A\\X.TXT",
                                      "attributes \\B", "find \\A *.TXT",
                                      "copy \\a\\x.txt \\Y.txt", "append \\y.txt",
                                      "setattributes \\Y.TXT 1", "delete \\a\\X.txt",
                                      "rmdir \\a", "deletetree \\*.txt"}));
  files.ClearCalls();
  EXPECT_TRUE(files.Calls().empty());
}

TEST(FakeFileSystemTest, FileWriterRecordsCreateAndCloseAndCanFailAtClose) {
  FakeFileSystem files;
  files.FailCall("close \\b.txt", kErrorWriteFault);
  const struct {
    const char16_t* path;
    Result closed;
    const char* stored;
  } cases[] = {{u"\\a.txt", kSuccess, "data"}, {u"\\b.txt", kErrorWriteFault, ""}};
  for (const auto& c : cases) {
    auto writer = files.CreateFileWriter(c.path);
    ASSERT_TRUE(writer);
    EXPECT_EQ((*writer)->Write("data"), kSuccess);
    EXPECT_EQ((*writer)->Close(), c.closed);
    EXPECT_EQ(*files.ReadFile(c.path, UINT64_MAX), c.stored);
  }
  EXPECT_EQ(files.Calls(),
            (std::vector<std::string>{"create \\a.txt", "close \\a.txt", "read \\a.txt",
                                      "create \\b.txt", "close \\b.txt", "read \\b.txt"}));
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
  files.FailCall("copy \\x.txt \\z.txt", kErrorWriteFault);
  files.FailCall("deletetree \\*", kErrorAccessDenied);
  EXPECT_EQ(files.WriteFile(u"\\x.txt", "new"), kErrorWriteFault);
  EXPECT_EQ(files.DeleteFile(u"\\x.txt"), kErrorAccessDenied);
  EXPECT_EQ(CodeOf(files.ReadFile(u"\\y.txt", UINT64_MAX)), kErrorReadFault);
  EXPECT_EQ(files.CopyFile(u"\\x.txt", u"\\z.txt"), kErrorWriteFault);
  EXPECT_EQ(files.DeleteTree(u"\\*"), kErrorAccessDenied);
  EXPECT_EQ(files.WriteFile(u"\\X.TXT", "other spelling"), kSuccess);
  EXPECT_EQ(files.Listing(), "\\x.txt");
}

}  // namespace
}  // namespace varnisk::platform
