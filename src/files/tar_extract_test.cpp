#include "files/tar_extract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/testing/fake_app.h"
#include "platform/fake_platform.h"
#include "platform/gzip_testing.h"
#include "platform/utf.h"

namespace varnisk::files {
namespace {

using namespace std::string_literals;
using platform::Gzip;

constexpr size_t kBlock = 512;
const std::string kEndMarker(2 * kBlock, '\0');

std::string Padded(std::string data) {
  data.resize((data.size() + kBlock - 1) / kBlock * kBlock, '\0');
  return data;
}

std::string Octal(uint64_t value) {
  std::string digits(11, '0');
  for (size_t i = digits.size(); i-- > 0; value /= 8) digits[i] = static_cast<char>('0' + value % 8);
  return digits + '\0';
}

// Writes text into the block at offset, cut to length bytes.
void Put(std::string& block, size_t offset, std::string_view text, size_t length) {
  block.replace(offset, std::min(text.size(), length), text.substr(0, length));
}

// A header block with the fields the reader looks at; the rest stays zero (no checksum is
// checked).
std::string Header(std::string_view name, std::string_view sizeField, char type,
                   std::string_view magic = "", std::string_view prefix = "") {
  std::string block(kBlock, '\0');
  Put(block, 0, name, 100);
  Put(block, 124, sizeField, 12);
  block[156] = type;
  Put(block, 257, magic, 8);
  Put(block, 345, prefix, 155);
  return block;
}

std::string Entry(std::string_view name, const std::string& data, char type = '0') {
  return Header(name, Octal(data.size()), type) + Padded(data);
}

// A GNU long-name record: the name and its terminator, counted in the size field.
std::string LongName(const std::string& name, char type = 'L') {
  return Entry("././@LongLink", name + '\0', type);
}

// One record of a pax extended header: its length counts the whole record.
std::string PaxRecord(const std::string& key, const std::string& value) {
  const size_t body = 1 + key.size() + 1 + value.size() + 1;
  size_t length = body + 1;
  while (std::to_string(length).size() + body != length) ++length;
  return std::to_string(length) + " " + key + "=" + value + "\n";
}

std::string Pax(const std::string& records, char type = 'x') {
  return Entry("PaxHeader/entry", records, type);
}

// Every entry below folder: folders end in "\", files show "=" and their bytes.
void Walk(platform::FileSystem& files, const std::u16string& folder,
          std::vector<std::string>& out) {
  auto entries = files.FindFiles(folder, u"*");
  if (!entries) return;
  for (const platform::FindEntry& entry : *entries) {
    const std::u16string path = folder + u"\\" + entry.name;
    if (path == u"\\a.tgz") continue;  // the archive itself
    if (entry.attributes & platform::kAttributeDirectory) {
      out.push_back(platform::Utf16ToUtf8(path) + "\\");
      Walk(files, path, out);
    } else {
      out.push_back(platform::Utf16ToUtf8(path) + "=" + files.ReadFile(path).value_or("?"));
    }
  }
}

std::string Tree(platform::FileSystem& files) {
  std::vector<std::string> entries;
  Walk(files, u"", entries);
  std::string out;
  for (const std::string& entry : entries) out += (out.empty() ? "" : " ") + entry;
  return out;
}

// A fake device holding the archive at \a.tgz.
struct Device {
  explicit Device(const std::string& archive) { files.WriteFile(u"\\a.tgz", archive); }
  Result Extract(std::u16string_view destination) {
    return ExtractTarGz(files, codePages, u"\\a.tgz", destination);
  }
  platform::FakeFileSystem files;
  platform::FakeCodePages codePages;
};

TEST(ParseOctalFieldTest, ReadsEveryFormTheSizeFieldTakes) {
  const struct {
    const char* label;
    std::string field;
    uint64_t expected;
  } cases[] = {
      {"eleven digits and a NUL", "00000000003\0"s, 3},
      {"eleven digits and a space", "00000000003 ", 3},
      {"seven spaces, then the digit", "       3\0\0\0\0"s, 3},
      {"spaces between digits", " 1 2 ", 10},
      {"twelve digits, no terminator", "000000000012", 10},
      {"the first NUL ends it", "7\0zz"s, 7},
      {"empty field", std::string(12, '\0'), 0},
      {"no bytes at all", "", 0},
      {"4 GiB does not wrap", "40000000000", uint64_t{1} << 32},
      {"the largest twelve digits", "777777777777", (uint64_t{1} << 36) - 1},
      {"a digit that is not octal", "00000000008", kInvalidOctal},
      {"a letter", "12a", kInvalidOctal},
      {"the base-256 form", "\x80"s + std::string(11, '\0'), kInvalidOctal},
      {"beyond 64 bits", std::string(23, '7'), kInvalidOctal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ParseOctalField(c.field), c.expected);
  }
}

struct ExtractCase {
  const char* label;
  std::string archive;
  std::u16string destination;
  std::string tree;  // what the device holds afterwards, the archive left out
  Result result = kSuccess;
};

// Each case runs on the plain archive and on the archive gzip-compressed, with the same
// outcome (an archive cut short is a compressed stream cut at the same place).
void ExpectExtraction(const ExtractCase& c) {
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(std::string(c.label) + (compressed ? ", compressed" : ", plain"));
    Device device(compressed ? Gzip(c.archive) : c.archive);
    EXPECT_EQ(device.Extract(c.destination), c.result);
    EXPECT_EQ(Tree(device.files), c.tree);
  }
}

TEST(ExtractTarGzTest, MakesTheFilesAndFoldersTheArchiveHolds) {
  const std::string docs = Entry("docs/", "", '5') + Entry("docs/a.txt", "abc");
  const std::string blocks(1300, 'x');
  const ExtractCase cases[] = {
      {"a folder and a file", docs + kEndMarker, u"\\Temp",
       "\\Temp\\ \\Temp\\docs\\ \\Temp\\docs\\a.txt=abc"},
      {"an empty destination is the root", docs + kEndMarker, u"", "\\docs\\ \\docs\\a.txt=abc"},
      {"the folders above a file are made", Entry("a/b/c.txt", "x") + kEndMarker, u"\\Out",
       "\\Out\\ \\Out\\a\\ \\Out\\a\\b\\ \\Out\\a\\b\\c.txt=x"},
      {"data over several blocks", Entry("big.bin", blocks) + Entry("next.txt", "n"), u"\\Out",
       "\\Out\\ \\Out\\big.bin=" + blocks + " \\Out\\next.txt=n"},
      {"a file of size 0", Entry("empty.txt", "") + kEndMarker, u"\\Out",
       "\\Out\\ \\Out\\empty.txt="},
      {"old-style name with a dot folder", Entry("./", "", '5') + Entry("./x.txt", "x"),
       u"\\Out", "\\Out\\ \\Out\\x.txt=x"},
      {"a folder stored as a file whose name ends in a slash",
       Entry("docs/", "") + Entry("docs/a.txt", "abc"), u"\\Out",
       "\\Out\\ \\Out\\docs\\ \\Out\\docs\\a.txt=abc"},
      {"no end marker", Entry("a.txt", "abc"), u"\\Out", "\\Out\\ \\Out\\a.txt=abc"},
      {"nothing after the end marker is read", docs + kEndMarker + Entry("b.txt", "b"),
       u"\\Out", "\\Out\\ \\Out\\docs\\ \\Out\\docs\\a.txt=abc"},
      {"an empty archive", "", u"\\Out", ""},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, EndsQuietlyWhereTheArchiveEnds) {
  const std::string blocks(1300, 'x');
  const ExtractCase cases[] = {
      {"cut inside a file: only its whole blocks are written",
       Entry("a.txt", "abc") + Entry("b.bin", blocks).substr(0, kBlock + 700), u"\\Out",
       "\\Out\\ \\Out\\a.txt=abc \\Out\\b.bin=" + blocks.substr(0, kBlock)},
      {"cut at a block boundary inside a file",
       Entry("b.bin", blocks).substr(0, 2 * kBlock), u"\\Out",
       "\\Out\\ \\Out\\b.bin=" + blocks.substr(0, kBlock)},
      {"cut inside a header: its file is made but gets no data",
       Entry("a.txt", "abc") + Entry("b.txt", "def").substr(0, 300), u"\\Out",
       "\\Out\\ \\Out\\a.txt=abc \\Out\\b.txt="},
      {"a size field that is not a number ends it",
       Entry("a.txt", "abc") + Header("b.txt", "\x80"s + std::string(11, '\0'), '0') +
           Padded("data") + Entry("c.txt", "c"),
       u"\\Out", "\\Out\\ \\Out\\a.txt=abc"},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, LongNames) {
  const std::string longName = "long/" + std::string(150, 'n') + ".txt";
  const std::string tooLong = std::string(300, 'd') + "/" + std::string(300, 'f');
  const std::string after = Entry("after.txt", "y") + kEndMarker;
  const ExtractCase cases[] = {
      {"a long-name record names the next entry",
       LongName(longName) + Entry(longName.substr(0, 100), "long") + after, u"\\Out",
       "\\Out\\ \\Out\\after.txt=y \\Out\\long\\ \\Out\\long\\" + std::string(150, 'n') +
           ".txt=long"},
      {"a long link name is taken alike", LongName("k.txt", 'K') + Entry("x", "k"), u"\\Out",
       "\\Out\\ \\Out\\k.txt=k"},
      {"an empty long name leaves the header's name",
       Header("././@LongLink", Octal(0), 'L') + std::string(kBlock, '\0') + Entry("own.txt", "o"),
       u"\\Out", "\\Out\\ \\Out\\own.txt=o"},
      {"a long-name record names only one entry",
       LongName("first.txt") + Entry("f", "1") + Entry("second.txt", "2"), u"\\Out",
       "\\Out\\ \\Out\\first.txt=1 \\Out\\second.txt=2"},
      {"a name beyond one block: the entry is passed over",
       LongName(tooLong) + Entry(tooLong.substr(0, 100), "skipped") + after, u"\\Out",
       "\\Out\\ \\Out\\after.txt=y"},
      {"a record whose size is not a number ends it",
       Header("././@LongLink", "zz", 'L') + Padded("name.txt") + after, u"\\Out", ""},
      {"a record whose name fills its block ends it",
       Header("././@LongLink", Octal(100), 'L') + std::string(kBlock, 'n') + after, u"\\Out",
       ""},
      {"a record whose name exceeds its size ends it",
       Header("././@LongLink", Octal(3), 'L') + Padded("name.txt") + after, u"\\Out", ""},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, PassesOverWhatIsNeitherFileNorFolder) {
  const std::string comment(600, 'c');
  const ExtractCase cases[] = {
      {"symbolic and hard links",
       Entry("sym", "", '2') + Entry("hard", "", '1') + Entry("f.txt", "x"), u"\\Out",
       "\\Out\\ \\Out\\f.txt=x"},
      {"pax headers, local and global",
       Pax(PaxRecord("mtime", "1700000000.123456789")) + Entry("a.txt", "abc") +
           Pax(PaxRecord("comment", comment), 'g') + Entry("b.txt", "def"),
       u"\\Out", "\\Out\\ \\Out\\a.txt=abc \\Out\\b.txt=def"},
      {"entries of other kinds with data",
       Entry("dump", "dumpdir data", 'D') + Entry("sparse", std::string(700, 's'), 'S') +
           Entry("f.txt", "x"),
       u"\\Out", "\\Out\\ \\Out\\f.txt=x"},
      {"another kind whose size is not a number: the next block is a header",
       Header("dev", "junk", '3') + Entry("f.txt", "x"), u"\\Out", "\\Out\\ \\Out\\f.txt=x"},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, PaxPathNamesTheNextEntry) {
  const std::string after = Entry("after.txt", "y");
  const ExtractCase cases[] = {
      {"a name that is not ASCII",
       Pax(PaxRecord("mtime", "1") + PaxRecord("path", "dir/文件.txt")) +
           Entry("dir/??.txt", "x") + after,
       u"\\Out", "\\Out\\ \\Out\\after.txt=y \\Out\\dir\\ \\Out\\dir\\文件.txt=x"},
      {"a record across a block boundary",
       Pax(PaxRecord("comment", std::string(500, 'c')) + PaxRecord("path", "far/name.txt")) +
           Entry("far/cut", "x"),
       u"\\Out", "\\Out\\ \\Out\\far\\ \\Out\\far\\name.txt=x"},
      {"a folder", Pax(PaxRecord("path", "folder")) + Entry("f", "", '5'), u"\\Out",
       "\\Out\\ \\Out\\folder\\"},
      {"a path too long for the device: the entry is passed over",
       Pax(PaxRecord("path", std::string(1100, 'p'))) + Entry("short.txt", "x") + after,
       u"\\Out", "\\Out\\ \\Out\\after.txt=y"},
      {"a broken record leaves the header's name",
       Pax("99 path=broken.txt\n") + Entry("plain.txt", "x"), u"\\Out",
       "\\Out\\ \\Out\\plain.txt=x"},
      {"an empty path leaves the header's name",
       Pax(PaxRecord("path", "a.txt") + PaxRecord("path", "")) + Entry("plain.txt", "x"),
       u"\\Out", "\\Out\\ \\Out\\plain.txt=x"},
      {"a global header names nothing",
       Pax(PaxRecord("path", "global.txt"), 'g') + Entry("plain.txt", "x"), u"\\Out",
       "\\Out\\ \\Out\\plain.txt=x"},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, PosixPrefixFieldLeadsTheName) {
  const std::string posix{"ustar\0" "00", 8};
  const std::string gnu{"ustar  \0", 8};
  const ExtractCase cases[] = {
      {"POSIX header", Header("file.txt", Octal(1), '0', posix, "deep/dir") + Padded("x"),
       u"\\Out", "\\Out\\ \\Out\\deep\\ \\Out\\deep\\dir\\ \\Out\\deep\\dir\\file.txt=x"},
      {"GNU header: the field is not a prefix",
       Header("file.txt", Octal(1), '0', gnu, "\x11\x22") + Padded("x"), u"\\Out",
       "\\Out\\ \\Out\\file.txt=x"},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

// An archive cannot write outside its destination, nor beyond the device's path buffers.
TEST(ExtractTarGzTest, EntriesThatCannotBeWrittenArePassedOver) {
  const std::string fits = std::string(120, 'a') + "/" + std::string(133, 'b');  // 259 units
  const std::string tooLong = fits + "c";
  const ExtractCase cases[] = {
      {"names leaving the destination",
       Entry("../up.txt", "1") + Entry("a/../../up.txt", "2") + Entry("/abs.txt", "3") +
           Entry("\\abs.txt", "4") + Entry("../up/", "", '5') + Entry("a/../in.txt", "5") +
           Entry("fine.txt", "6"),
       u"\\Out\\Sub", "\\Out\\ \\Out\\Sub\\ \\Out\\Sub\\fine.txt=6"},
      {"paths beyond 259 units",
       LongName(tooLong) + Entry("x", "long") + LongName(fits) + Entry("y", "fits"), u"\\Out",
       "\\Out\\ \\Out\\" + std::string(120, 'a') + "\\ \\Out\\" + fits.substr(0, 120) + "\\" +
           std::string(133, 'b') + "=fits"},
      {"a name the device refuses", Entry("a:b.txt", "xx") + Entry("c.txt", "y"), u"\\Out",
       "\\Out\\ \\Out\\c.txt=y"},
  };
  for (const ExtractCase& c : cases) ExpectExtraction(c);
}

TEST(ExtractTarGzTest, ExistingFilesAreReplacedUnlessReadOnly) {
  Device device(Entry("a.txt", "new") + Entry("B.TXT", "") + Entry("ro.txt", "lost") +
                Entry("c.txt", "c"));
  ASSERT_EQ(device.files.CreateFolder(u"\\Out"), kSuccess);
  ASSERT_EQ(device.files.WriteFile(u"\\Out\\a.txt", "an older, longer text"), kSuccess);
  ASSERT_EQ(device.files.WriteFile(u"\\Out\\b.txt", "old"), kSuccess);
  ASSERT_EQ(device.files.WriteFile(u"\\Out\\ro.txt", "kept"), kSuccess);
  ASSERT_EQ(device.files.SetReadOnly(u"\\Out\\ro.txt"), kSuccess);
  EXPECT_EQ(device.Extract(u"\\Out"), kSuccess);
  EXPECT_EQ(Tree(device.files), "\\Out\\ \\Out\\a.txt=new \\Out\\b.txt= \\Out\\c.txt=c \\Out\\ro.txt=kept");
}

TEST(ExtractTarGzTest, FailuresHaveTheirOwnResults) {
  const std::string corrupt = "\x1f\x8b\x09\x00"s + std::string(20, '\0');  // not deflate
  const struct {
    const char* label;
    std::string archive;  // empty: none at all
    Result result;
    std::string tree;
  } cases[] = {
      {"no archive", "", kTarOpenFailed, ""},
      {"corrupt data after a whole entry", Gzip(Entry("a.txt", "abc")) + corrupt, kTarReadFailed,
       "\\Out\\ \\Out\\a.txt=abc"},
      {"corrupt data where a long name is due", Gzip(Header("././@LongLink", Octal(6), 'L')) + corrupt,
       kTarLongNameReadFailed, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Device device(c.archive);
    if (c.archive.empty()) {
      ASSERT_EQ(device.files.DeleteFile(u"\\a.tgz"), kSuccess);
    }
    EXPECT_EQ(device.Extract(u"\\Out"), c.result);
    EXPECT_EQ(Tree(device.files), c.tree);
  }
  Device device("");
  ASSERT_EQ(device.files.CreateFolder(u"\\Folder.tgz"), kSuccess);
  EXPECT_EQ(ExtractTarGz(device.files, device.codePages, u"\\Folder.tgz", u"\\Out"),
            kTarOpenFailed);
  const std::u16string longPath = u"\\" + std::u16string(259, u'a');
  EXPECT_EQ(ExtractTarGz(device.files, device.codePages, longPath, u"\\Out"), kTarOpenFailed);
}

// A file the device could not write completely is not passed as extracted.
TEST(ExtractTarGzTest, AFailedWriteEndsTheExtractionWithItsCode) {
  Device device(Entry("a.txt", "abc") + Entry("b.txt", "def") + Entry("c.txt", "ghi"));
  device.files.FailCall("close \\Out\\b.txt", kErrorWriteFault);
  EXPECT_EQ(device.Extract(u"\\Out"), kErrorWriteFault);
  EXPECT_EQ(Tree(device.files), "\\Out\\ \\Out\\a.txt=abc \\Out\\b.txt=");
}

TEST(ExtractTarGzTest, EachFolderIsMadeReadyOnce) {
  Device device(Entry("d/a.txt", "1") + Entry("d/b.txt", "2") + Entry("d/c.txt", "3"));
  device.files.ClearCalls();
  EXPECT_EQ(device.Extract(u"\\Out"), kSuccess);
  EXPECT_EQ(device.files.Calls(),
            (std::vector<std::string>{
                "opengzip \\a.tgz", "attributes \\Out", "mkdir \\Out", "attributes \\Out\\d",
                "mkdir \\Out\\d", "create \\Out\\d\\a.txt", "close \\Out\\d\\a.txt",
                "create \\Out\\d\\b.txt", "close \\Out\\d\\b.txt", "create \\Out\\d\\c.txt",
                "close \\Out\\d\\c.txt"}));
}

TEST(ExtractTarGzTest, TgzxAndTheDefaultCommandExtract) {
  const std::string archive = Gzip(Entry("docs/a.txt", "abc"));
  const struct {
    const char* line;
    Result result;
    std::string tree;
  } cases[] = {
      {"TGZX \\a.tgz,\\Out", kSuccess, "\\Out\\ \\Out\\docs\\ \\Out\\docs\\a.txt=abc"},
      {"tgzx \\A.TGZ", kSuccess, "\\docs\\ \\docs\\a.txt=abc"},
      {"TGZX \\none.tgz,\\Out", kTarOpenFailed, ""},
      {"\\*.tgz,\\Out", kSuccess, "\\Out\\ \\Out\\docs\\ \\Out\\docs\\a.txt=abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    engine::FakeApp fake;
    ASSERT_EQ(fake.device.files.WriteFile(u"\\a.tgz", archive), kSuccess);
    EXPECT_EQ(fake.Run(c.line), c.result);
    EXPECT_EQ(Tree(fake.device.files), c.tree);
  }
}

}  // namespace
}  // namespace varnisk::files
