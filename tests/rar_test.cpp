// RARX and the default command on RAR archives, through the program and its UnRAR
// library, on a temporary device: what lands in the device folder, the line's result,
// and what happens without the library.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "program_runner.h"
#include "unrar/rar_builder.h"

namespace varnisk::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kEndArchive = 10;

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(VARNISK_RAR_FIXTURES) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class RarTest : public ::testing::Test {
 protected:
  RarTest() { EXPECT_EQ(Run("EVAL x=0").status, 0); }  // makes the device

  // Runs line with the fixtures shown as the storage card.
  ProgramRun Run(const std::string& line, const std::string& program = VARNISK_PROGRAM) {
    return RunProgram(program, {"--device", device(), "--card", VARNISK_RAR_FIXTURES, "--ui",
                                "none", "--log", "-", "--", line});
  }
  std::string device() const { return temp_.path() + "/dev"; }
  std::string Host(const std::string& path) const { return "dev/files/" + path; }
  // The tree below a device folder: "name(size)" for files, "name/" for folders, sorted.
  std::string Listing(const std::string& folder) const {
    std::vector<std::string> names;
    const fs::path root = fs::path(temp_.path()) / Host(folder);
    if (!fs::exists(root)) return "(none)";
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      std::string name = fs::relative(entry.path(), root).string();
      name += entry.is_directory() ? "/" : "(" + std::to_string(entry.file_size()) + ")";
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
  }

  TempFolder temp_;
};

TEST_F(RarTest, ArchivesExtractIntoTheDevice) {
  const struct {
    const char* line;
    const char* folder;
    const char* listing;
  } cases[] = {
      {"RARX \\Storage Card\\test_read_format_rar.rar,\\Program Files\\Pack", "Program Files/Pack",
       "test.txt(20) testdir/ testdir/test.txt(20) testemptydir/"},
      {"RARX \\Storage Card\\test_read_format_rar_compress_best.rar,\\Temp\\best", "Temp/best",
       "LibarchiveAddingTest.html(20111) testdir/ testdir/LibarchiveAddingTest.html(20111) "
       "testdir/test.txt(20) testemptydir/"},
      {"RARX \\Storage Card\\test_read_format_rar5_stored.rar,\\Temp\\New\\Deep", "Temp/New/Deep",
       "helloworld.txt(29)"},
      {"RARX \\Storage Card\\test_read_format_rar5_multiple_files.rar,\\Temp\\m", "Temp/m",
       "test1.bin(4096) test2.bin(4096) test3.bin(4096) test4.bin(4096)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const ProgramRun run = Run(c.line);
    EXPECT_EQ(run.status, kEndArchive);
    EXPECT_NE(run.err.find("     0000000A "), std::string::npos) << run.err;
    EXPECT_EQ(Listing(c.folder), c.listing);
  }
  EXPECT_EQ(temp_.Read(Host("Temp/New/Deep/helloworld.txt")), "hello libarchive test suite!\n");
}

// The names reach the host as UTF-8 whatever the archive stored; links are not made.
TEST_F(RarTest, UnicodeNamesArriveAsTheyWereStored) {
  EXPECT_EQ(Run("RARX \\Storage Card\\test_read_format_rar_unicode.rar,\\Temp\\u4").status,
            kEndArchive);
  EXPECT_EQ(Listing("Temp/u4"),
            "abcdefghijklmnopqrsテスト.txt(16) 表だよ/ 表だよ/新しいフォルダ/ "
            "表だよ/新しいフォルダ/新規テキスト ドキュメント.txt(0) "
            "表だよ/漢字長いファイル名long-filename-in-漢字.txt(5)");
  EXPECT_TRUE(temp_.Exists(Host("Temp/u4/\xE8\xA1\xA8\xE3\x81\xA0\xE3\x82\x88")));
  EXPECT_EQ(Run("RARX \\Storage Card\\test_read_format_rar5_unicode.rar,\\Temp\\u5").status,
            kEndArchive);
  EXPECT_EQ(temp_.Read(Host("Temp/u5/\xF0\x9F\x91\x8B\xF0\x9F\x8C\x8E.txt")), "Hello, world!");
}

TEST_F(RarTest, DamagedArchivesFailWithTheirCode) {
  const char* archives[] = {
      "test_read_format_rar_invalid1.rar",
      "test_read_format_rar4_encrypted.rar",
      "test_read_format_rar5_encrypted.rar",
      "test_read_format_rar_noeof.rar",
      "test_read_format_rar5_dirdata.rar",
      "test_read_format_rar5_bad_window_sz_in_mltarc_file.rar",
      "test_read_format_rar5_distance_overflow.rar",
      "test_read_format_rar5_leftshift1.rar",
      "test_read_format_rar5_bytes_remaining_underflow.rar",
      "test_read_format_rar_ppmd_use_after_free.rar",
  };
  for (const char* archive : archives) {
    SCOPED_TRACE(archive);
    const ProgramRun run = Run("RARX \\Storage Card\\" + std::string(archive) + ",\\Temp\\bad");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.status, kEndArchive);
    EXPECT_NE(run.status, 255) << "not a code of the library";
  }
  EXPECT_EQ(Run("RARX \\Storage Card\\missing.rar,\\Temp\\bad").status, 15);
}

// The default command extracts every matching archive into the folder after the comma.
TEST_F(RarTest, DefaultCommandExtractsEachArchive) {
  temp_.Write(Host("Temp/a.rar"), Fixture("test_read_format_rar5_stored.rar"));
  temp_.Write(Host("Temp/B.RAR"), Fixture("test_read_format_rar5_compressed.rar"));
  EXPECT_EQ(Run("\\Temp\\*.rar,\\Out").status, kEndArchive);
  EXPECT_EQ(Listing("Out"), "helloworld.txt(29) test.bin(1200)");
}

TEST_F(RarTest, NothingLandsOutsideTheDevice) {
  temp_.Write("outside/keep.txt", "keep");
  ASSERT_EQ(symlink((temp_.path() + "/outside").c_str(),
                    (temp_.path() + "/" + Host("Temp/escape")).c_str()),
            0);
  temp_.Write(Host("Temp/evil.rar"), unrar::BuildStoredRar4({
                                         {"../../../../outside/up.txt", "up"},
                                         {"/outside/abs.txt", "abs"},
                                     }));
  EXPECT_EQ(Run("RARX \\Temp\\evil.rar,\\Temp\\dest").status, kEndArchive);
  EXPECT_EQ(Listing("Temp/dest"), "outside/ outside/abs.txt(3) outside/up.txt(2)");
  // A destination leading through a link out of the device ends inside it.
  Run("RARX \\Temp\\evil.rar,\\Temp\\escape\\x");
  EXPECT_EQ(fs::directory_iterator(temp_.path() + "/outside")->path().filename(), "keep.txt");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp_.path() + "/outside"), {}), 1);
}

// Without its library the program extracts nothing: a copy of it in a folder of its own
// finds no UnRAR module beside it.
TEST_F(RarTest, WithoutTheLibraryTheResultIsDllNotFound) {
  const std::string alone = temp_.path() + "/alone";
  fs::create_directories(alone);
  fs::copy_file(VARNISK_PROGRAM, alone + "/varnisk");
  const ProgramRun run =
      Run("RARX \\Storage Card\\test_read_format_rar.rar,\\Temp\\x", alone + "/varnisk");
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.err.find("     00000485 "), std::string::npos) << run.err;
  EXPECT_EQ(Listing("Temp/x"), "(none)");
}

}  // namespace
}  // namespace varnisk::testing
