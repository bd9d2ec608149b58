// TGZX and .tgz files through the program: archives made at test time by GNU tar, bsdtar
// and Python's tarfile are extracted onto a temporary device and compared byte for byte
// with what went into them; cut and corrupt archives end with their results.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "program_runner.h"

namespace varnisk::testing {
namespace {

namespace fs = std::filesystem;

// A tree of files to archive, as relative path -> bytes.
using Tree = std::map<std::string, std::string>;

std::string Bytes(size_t size, unsigned seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 16);
  }
  return out;
}

// Every regular file below root (links and other entries left out), by relative path.
Tree ReadTree(const fs::path& root) {
  Tree tree;
  if (!fs::exists(root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    tree[fs::relative(entry.path(), root).string()] =
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return tree;
}

std::string Names(const Tree& tree) {
  std::string out;
  for (const auto& [name, bytes] : tree) out += (out.empty() ? "" : " ") + name;
  return out;
}

class TarTest : public ::testing::Test {
 protected:
  TarTest() {
    EXPECT_EQ(Run("EVAL x=0").status, 0);  // makes the device
  }

  ProgramRun Run(const std::string& line) {
    return RunVarnisk({"--device", device(), "--ui", "none", "--log", "-", "--", line});
  }
  std::string device() const { return temp_.path() + "/dev"; }
  fs::path Host(const std::string& devicePath) const {
    return fs::path(temp_.path()) / "dev/files" / devicePath;
  }

  // Writes the tree below the temporary folder's "src" (with a symbolic link beside the
  // files, which no extraction makes).
  void MakeSource(const Tree& tree) {
    for (const auto& [name, bytes] : tree) temp_.Write("src/" + name, bytes);
    fs::create_symlink("a.txt", fs::path(temp_.path()) / "src/link");
  }

  // Runs a shell command line in the temporary folder; false when it fails.
  bool Shell(const std::string& command, const std::vector<std::string>& environment = {}) {
    const ProgramRun run =
        RunProgram("/bin/sh", {"-c", "cd '" + temp_.path() + "' && " + command}, environment);
    EXPECT_EQ(run.status, 0) << command << "\n" << run.err;
    return run.status == 0;
  }

  static bool Installed(const std::string& program) {
    return RunProgram("/bin/sh", {"-c", "command -v " + program}).status == 0;
  }

  // The tree each archiving program gets: nested folders, an empty file, binary data
  // over many blocks, and a path of more than 100 bytes.
  static Tree Sample() {
    const std::string deep = std::string(60, 'd') + "/" + std::string(80, 'n') + ".txt";
    return Tree{{"a.txt", "abc"},
                {"empty.txt", ""},
                {"sub/data.bin", Bytes(70000, 1)},
                {"sub/inner/b.txt", "inner"},
                {deep, "deep"}};
  }

  TempFolder temp_;
};

TEST_F(TarTest, ArchivesOfCommonProgramsExtractExactly) {
  const std::string chinese = "文件.txt";
  const struct {
    const char* label;
    const char* program;  // must be installed
    std::string command;  // writes x.tgz from src
    std::vector<std::string> environment;
    bool unicodeNames;  // names stored in UTF-8 with a pax header
  } cases[] = {
      {"GNU tar, GNU format", "tar", "tar --format=gnu -czf x.tgz src", {}, false},
      {"GNU tar, uncompressed", "tar", "tar --format=gnu -cf x.tgz src", {}, false},
      {"GNU tar, POSIX format", "tar", "tar --format=posix -czf x.tgz src", {"LC_ALL=C.UTF-8"},
       true},
      {"bsdtar, pax format", "bsdtar", "bsdtar --format=pax -czf x.tgz src",
       {"LC_ALL=C.UTF-8"}, true},
      {"Python's tarfile", "python3",
       "python3 -c 'import tarfile; t = tarfile.open(\"x.tgz\", \"w:gz\"); t.add(\"src\"); "
       "t.close()'",
       {"LC_ALL=C.UTF-8"}, true},
  };
  Tree source = Sample();
  source[chinese] = "unicode";
  MakeSource(source);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (!Installed(c.program)) {
      ADD_FAILURE() << c.program << " is not installed (scripts/setup installs it)";
      continue;
    }
    fs::remove_all(Host("Out"));
    ASSERT_TRUE(Shell("rm -f x.tgz && " + c.command + " && cp x.tgz dev/files/Temp/x.tgz",
                      c.environment));
    const ProgramRun run = Run("TGZX \\Temp\\x.tgz,\\Out");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("TGZX \\Temp\\x.tgz\x01\\Out\n     00000000 "), std::string::npos)
        << run.err;
    Tree extracted = ReadTree(Host("Out/src"));
    Tree expected = source;
    if (!c.unicodeNames) {
      // GNU tar stores the name's UTF-8 bytes, which the device reads in its ANSI code
      // page: the file is there under another name.
      expected.erase(chinese);
      ASSERT_EQ(extracted.erase(chinese), 0u);
      EXPECT_EQ(extracted.size(), expected.size() + 1);
      std::erase_if(extracted, [&](const auto& entry) { return !expected.contains(entry.first); });
    }
    EXPECT_EQ(Names(extracted), Names(expected));
    EXPECT_TRUE(extracted == expected);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host("Out/src/link"))));
  }
}

TEST_F(TarTest, DefaultCommandAndStorageCardArchives) {
  MakeSource(Sample());
  ASSERT_TRUE(Shell("mkdir card && tar --format=gnu -czf card/pack.tgz src"));
  const ProgramRun run = RunVarnisk({"--device", device(), "--card", temp_.path() + "/card",
                                     "--ui", "none", "--log", "-", "--",
                                     "\\Storage Card\\*.tgz,\\Program Files\\Pack"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadTree(Host("Program Files/Pack/src")) == Sample());
}

TEST_F(TarTest, CutAndCorruptArchivesEndWithTheirResults) {
  Tree source;
  for (int i = 0; i < 8; ++i) source["f" + std::to_string(i) + ".bin"] = Bytes(40000, i + 10);
  MakeSource(source);
  ASSERT_TRUE(Shell("tar --format=gnu --sort=name -czf whole.tgz src && "
                    "size=$(stat -c %s whole.tgz) && "
                    "head -c $((size / 2)) whole.tgz > dev/files/Temp/cut.tgz && "
                    "cp whole.tgz dev/files/Temp/corrupt.tgz && "
                    "printf 'XXXX' | dd of=dev/files/Temp/corrupt.tgz bs=1 "
                    "seek=$((size - 8)) conv=notrunc 2>/dev/null && "
                    "head -c 100000 /dev/urandom > dev/files/Temp/noise.tgz && "
                    "tar --format=gnu -cf - src | head -c 30000 > dev/files/Temp/cut.tar"));
  const struct {
    const char* archive;
    int status;
    const char* logged;
    bool extracts;  // some files come out before the end
  } cases[] = {
      {"cut.tgz", 0, "00000000", true},
      {"cut.tar", 0, "00000000", true},
      {"corrupt.tgz", 255, "FFFFFFFE", true},
      {"missing.tgz", 255, "FFFFFFFF", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    fs::remove_all(Host("Out"));
    // The log shows the line as assembled: its comma became the argument separator.
    const std::string line = std::string("TGZX \\Temp\\") + c.archive + "\x01\\Out";
    const ProgramRun run = Run(line);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(line + "\n     " + c.logged), std::string::npos) << run.err;
    // What was extracted is the start of what was archived: whole blocks only.
    const Tree extracted = ReadTree(Host("Out/src"));
    EXPECT_EQ(extracted.empty(), !c.extracts);
    for (const auto& [name, bytes] : extracted) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(source.contains(name));
      EXPECT_EQ(bytes, source[name].substr(0, bytes.size()));
      EXPECT_TRUE(bytes.size() % 512 == 0 || bytes.size() == source[name].size());
    }
  }
  // Noise is read as headers that make little sense: it ends without harm.
  const ProgramRun noise = Run("TGZX \\Temp\\noise.tgz,\\Out");
  EXPECT_NE(noise.status, -1);
  EXPECT_NE(noise.err.find("TGZX \\Temp\\noise.tgz\x01\\Out\n     "), std::string::npos);
}

// Names that lead out of the destination, and a link that would lead files out of the
// device, write nothing outside.
TEST_F(TarTest, AnArchiveWritesOnlyBelowItsDestination) {
  if (!Installed("python3")) GTEST_SKIP() << "python3 is not installed";
  ASSERT_TRUE(Shell(
      "mkdir outside && python3 -c '\n"
      "import io, tarfile, sys\n"
      "t = tarfile.open(\"dev/files/Temp/evil.tgz\", \"w:gz\")\n"
      "def add(name, data=b\"x\", kind=tarfile.REGTYPE, target=\"\"):\n"
      "    info = tarfile.TarInfo(name)\n"
      "    info.type, info.linkname = kind, target\n"
      "    info.size = len(data) if kind == tarfile.REGTYPE else 0\n"
      "    t.addfile(info, io.BytesIO(data) if kind == tarfile.REGTYPE else None)\n"
      "add(\"../up.txt\")\n"
      "add(\"a/../../up2.txt\")\n"
      "add(\"" + temp_.path() + "/outside/abs.txt\")\n"
      "add(\"link\", kind=tarfile.SYMTYPE, target=\"" + temp_.path() + "/outside\")\n"
      "add(\"link/through.txt\", b\"inside\")\n"
      "add(\"ok.txt\", b\"ok\")\n"
      "t.close()'"));
  const ProgramRun run = Run("TGZX \\Temp\\evil.tgz,\\Out\\Sub");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(ReadTree(Host(""))).find("up"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(fs::path(temp_.path()) / "outside"));
  EXPECT_EQ(Names(ReadTree(Host("Out"))), "Sub/link/through.txt Sub/ok.txt");
  EXPECT_FALSE(fs::is_symlink(Host("Out/Sub/link")));
}

}  // namespace
}  // namespace varnisk::testing
