// The UnRAR library through its published entry points, on real archives and on archives
// built for one question each, extracting into temporary folders.

#include "unrar/unrar.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "unrar/rar_builder.h"

namespace varnisk::unrar {
namespace {

namespace fs = std::filesystem;
using Kind = StoredEntry::Kind;

std::wstring Wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

class UnrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-unrar-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    temp_ = pattern;
    fs::create_directories(Destination());
    fs::create_directories(temp_ / "outside");
  }
  void TearDown() override {
    EXPECT_TRUE(fs::is_empty(temp_ / "outside")) << "an entry landed outside the destination";
    std::error_code ignored;
    fs::remove_all(temp_, ignored);
  }

  fs::path Destination() const { return temp_ / "dest"; }

  std::string Put(const std::string& bytes) const {
    const std::string path = (temp_ / "archive.rar").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  // Extracts as RARX drives the library: open, then header and extraction in turn until
  // a code comes; that code.
  int Extract(const std::string& archive, int operation = kExtract) const {
    std::wstring name = Wide(archive);
    std::wstring destination = Wide(Destination().string());
    char comment[16384];
    OpenArchiveDataEx open{};
    open.ArcNameW = name.data();
    open.OpenMode = kOpenExtract;
    open.CmtBuf = comment;
    open.CmtBufSize = sizeof comment;
    void* handle = RAROpenArchiveEx(&open);
    if (open.OpenResult != 0) {
      EXPECT_EQ(handle, nullptr);
      return static_cast<int>(open.OpenResult);
    }
    int code = 0;
    bool fromHeader = false;
    while (code == 0) {
      HeaderData header{};
      code = RARReadHeader(handle, &header);
      fromHeader = code != 0;
      if (code == 0) code = RARProcessFileW(handle, operation, destination.data(), nullptr);
    }
    if (fromHeader) {
      // An archive that ended keeps answering the code that ended it.
      HeaderData header{};
      EXPECT_EQ(RARReadHeader(handle, &header), code);
    }
    EXPECT_EQ(RARCloseArchive(handle), 0);
    return code;
  }
  int ExtractFixture(const std::string& name) const {
    return Extract(std::string(VARNISK_RAR_FIXTURES) + "/" + name);
  }

  // The destination's tree: "name(size)" for files, "name/" for folders, "name->" for
  // links, sorted.
  std::string Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Destination())) {
      std::string name = fs::relative(entry.path(), Destination()).string();
      if (entry.is_symlink()) {
        name += "->";
      } else if (entry.is_directory()) {
        name += "/";
      } else {
        name += "(" + std::to_string(entry.file_size()) + ")";
      }
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
  }
  // Only the files of Listing.
  std::string Files() const {
    std::string out;
    std::istringstream names(Listing());
    for (std::string name; names >> name;) {
      if (name.ends_with(")")) out += (out.empty() ? "" : " ") + name;
    }
    return out;
  }
  std::string Read(const std::string& relative) const {
    std::ostringstream bytes;
    bytes << std::ifstream(Destination() / relative, std::ios::binary).rdbuf();
    return bytes.str();
  }

  fs::path temp_;
};

TEST_F(UnrarTest, ArchivesExtractBelowTheDestination) {
  const struct {
    const char* archive;
    const char* listing;
    const char* sample = "";  // a file and its bytes, "name=bytes"
  } cases[] = {
      {"test_read_format_rar.rar", "test.txt(20) testdir/ testdir/test.txt(20) testemptydir/"},
      {"test_read_format_rar_compress_normal.rar",
       "LibarchiveAddingTest.html(20111) testdir/ testdir/LibarchiveAddingTest.html(20111) "
       "testdir/test.txt(20) testemptydir/"},
      {"test_read_format_rar_compress_best.rar",
       "LibarchiveAddingTest.html(20111) testdir/ testdir/LibarchiveAddingTest.html(20111) "
       "testdir/test.txt(20) testemptydir/"},
      {"test_read_format_rar_filter.rar", "bsdcat.exe(204288)"},
      {"test_read_format_rar_unicode.rar",
       "abcdefghijklmnopqrsテスト.txt(16) 表だよ/ 表だよ/新しいフォルダ/ "
       "表だよ/新しいフォルダ/新規テキスト ドキュメント.txt(0) "
       "表だよ/漢字長いファイル名long-filename-in-漢字.txt(5)"},
      {"test_read_format_rar5_stored.rar", "helloworld.txt(29)"},
      {"test_read_format_rar5_compressed.rar", "test.bin(1200)"},
      {"test_read_format_rar5_multiple_files.rar",
       "test1.bin(4096) test2.bin(4096) test3.bin(4096) test4.bin(4096)"},
      {"test_read_format_rar5_symlink.rar", "dir/ file.txt(5)", "file.txt=1234\n"},
      {"test_read_format_rar5_unicode.rar", "👋🌎.txt(13)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    fs::remove_all(Destination());
    fs::create_directories(Destination());
    EXPECT_EQ(ExtractFixture(c.archive), kEndArchive);
    EXPECT_EQ(Listing(), c.listing);
    const std::string sample = c.sample;
    if (const size_t equals = sample.find('='); equals != std::string::npos) {
      EXPECT_EQ(Read(sample.substr(0, equals)), sample.substr(equals + 1));
    }
  }
}

// Each ends with a code that says why, in bounded time, and leaves no file that did not
// get all its data.
TEST_F(UnrarTest, DamagedAndEncryptedArchivesEndWithTheirCode) {
  const struct {
    const char* archive;
    int code;
    const char* files;
  } cases[] = {
      {"test_read_format_rar4_encrypted.rar", kMissingPassword, "a.txt(18)"},
      {"test_read_format_rar5_encrypted.rar", kMissingPassword, "a.txt(18)"},
      {"test_read_format_rar_noeof.rar", kBadData, "test.txt(20)"},
      {"test_read_format_rar_invalid1.rar", kBadData, ""},
      {"test_read_format_rar5_dirdata.rar", kBadData, ""},
      {"test_read_format_rar5_bad_window_sz_in_mltarc_file.rar", kBadData, ""},
      {"test_read_format_rar5_distance_overflow.rar", kBadData, ""},
      {"test_read_format_rar5_leftshift1.rar", kBadData, ""},
      {"test_read_format_rar5_bytes_remaining_underflow.rar", kBadData, ""},
      {"test_read_format_rar_ppmd_use_after_free.rar", kBadData, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    fs::remove_all(Destination());
    fs::create_directories(Destination());
    EXPECT_EQ(ExtractFixture(c.archive), c.code);
    EXPECT_EQ(Files(), c.files);
    if (c.code == kMissingPassword) {
      EXPECT_EQ(Read("a.txt"), "This is from a.txt");
    }
  }
}

TEST_F(UnrarTest, WhatIsNoArchiveDoesNotOpen) {
  EXPECT_EQ(Extract((temp_ / "missing.rar").string()), kOpenFailed);
  EXPECT_EQ(Extract(temp_.string()), kOpenFailed);
  EXPECT_EQ(Extract(Put("not a RAR archive at all")), kBadArchive);
  EXPECT_EQ(Extract(Put("")), kBadArchive);
}

TEST_F(UnrarTest, StoredNamesNeverLeaveTheDestination) {
  const std::string archive = Put(BuildStoredRar4({
      {"../../outside/up.txt", "1"},
      {"/outside/absolute.txt", "2"},
      {"a/../../../b.txt", "3"},
      {"C:\\dir\\c.txt", "4"},
      {"..\\..\\d.txt", "5"},
      {"q<u>o\"t|e?s*.txt", "6"},
  }));
  EXPECT_EQ(Extract(archive), kEndArchive);
  EXPECT_EQ(Listing(),
            "C_/ C_/dir/ C_/dir/c.txt(1) b.txt(1) d.txt(1) outside/ outside/absolute.txt(1) "
            "outside/up.txt(1) q_u_o_t_e_s_.txt(1)");
  // A file named as the destination itself cannot be made.
  EXPECT_EQ(Extract(Put(BuildStoredRar4({{"a/..", "x"}}))), kCreateFailed);
}

TEST_F(UnrarTest, LinksAreNeitherMadeNorFollowed) {
  fs::create_directories(Destination() / "real");
  fs::create_directory_symlink(temp_ / "outside", Destination() / "absolute");
  fs::create_directory_symlink("../outside", Destination() / "relative");
  fs::create_directory_symlink("real", Destination() / "sibling");
  const std::string fromArchive = Put(BuildStoredRar4({
      {"made", "/tmp", Kind::kSymlink},
      {"made/x.txt", "made"},
      {"sibling/y.txt", "y"},
  }));
  EXPECT_EQ(Extract(fromArchive), kEndArchive);
  // "made" is an ordinary folder: the link entry was passed over.
  EXPECT_EQ(Read("made/x.txt"), "made");
  EXPECT_EQ(Read("real/y.txt"), "y");
  for (const char* name : {"absolute/x.txt", "relative/x.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Extract(Put(BuildStoredRar4({{name, "escape"}}))), kCreateFailed);
  }
}

// As on the device, a name joins the entry of the same name in another case.
TEST_F(UnrarTest, NamesAreFoundWithoutRegardToCase) {
  fs::create_directories(Destination() / "Docs");
  std::ofstream(Destination() / "Docs" / "README") << "old text";
  const std::string archive = Put(BuildStoredRar4({
      {"DOCS/a.txt", "a"},
      {"docs/readme", "new"},
      {"NEW/one.txt", "1"},
      {"new/TWO.txt", "2"},
      {"Ünï/x", "x"},
      {"üNÏ/y", "y"},
  }));
  EXPECT_EQ(Extract(archive), kEndArchive);
  EXPECT_EQ(Listing(), "Docs/ Docs/README(3) Docs/a.txt(1) NEW/ NEW/TWO.txt(1) NEW/one.txt(1) "
                       "Ünï/ Ünï/x(1) Ünï/y(1)");
  EXPECT_EQ(Read("Docs/README"), "new");
}

TEST_F(UnrarTest, WhatCannotBeReplacedStopsTheExtraction) {
  std::ofstream(Destination() / "locked.txt") << "keep";
  fs::permissions(Destination() / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
  fs::create_directories(Destination() / "folder");
  const struct {
    const char* name;
    StoredEntry entry;
  } cases[] = {
      {"read-only file", {"LOCKED.txt", "new"}},
      {"folder in the way", {"Folder", "new"}},
      {"file in the way of a folder", {"locked.txt/inner.txt", "new"}},
      {"name too long", {std::string(300, 'n'), "new"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Extract(Put(BuildStoredRar4({c.entry, {"after.txt", "after"}}))), kCreateFailed);
    EXPECT_EQ(Listing(), "folder/ locked.txt(4)");
  }
}

TEST_F(UnrarTest, ListingTestingAndSkippingWriteNothing) {
  const std::string archive = std::string(VARNISK_RAR_FIXTURES) + "/test_read_format_rar5_compressed.rar";
  EXPECT_EQ(Extract(archive, kTest), kEndArchive);
  EXPECT_EQ(Extract(archive, kSkip), kEndArchive);
  EXPECT_EQ(Listing(), "");
}

// The caller may name the output file itself.
TEST_F(UnrarTest, AnEntryGoesWhereTheCallerNamesIt) {
  std::wstring name = Wide(Put(BuildStoredRar4({{"deep/inner.txt", "abc"}})));
  std::wstring output = Wide((Destination() / "chosen.txt").string());
  OpenArchiveDataEx open{};
  open.ArcNameW = name.data();
  open.OpenMode = kOpenExtract;
  void* handle = RAROpenArchiveEx(&open);
  ASSERT_NE(handle, nullptr);
  HeaderData header{};
  ASSERT_EQ(RARReadHeader(handle, &header), 0);
  EXPECT_STREQ(header.FileName, "deep/inner.txt");
  EXPECT_EQ(header.UnpSize, 3u);
  EXPECT_EQ(RARProcessFileW(handle, kExtract, nullptr, output.data()), 0);
  EXPECT_EQ(RARProcessFileW(handle, kExtract, nullptr, output.data()), kUnknownError);
  EXPECT_EQ(RARReadHeader(handle, &header), kEndArchive);
  EXPECT_EQ(RARCloseArchive(handle), 0);
  EXPECT_EQ(Listing(), "chosen.txt(3)");
}

}  // namespace
}  // namespace varnisk::unrar
