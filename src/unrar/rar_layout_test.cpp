#include "unrar/rar_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "unrar/rar_builder.h"

namespace varnisk::unrar {
namespace {

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(VARNISK_RAR_FIXTURES) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

RarLayout Scan(const std::string& bytes) {
  return ScanRarLayout(
      [&](uint64_t offset, void* buffer, size_t size) -> size_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(size, bytes.size() - offset);
        std::memcpy(buffer, bytes.data() + offset, n);
        return n;
      },
      bytes.size());
}

// The layout as a short text: format, "end" / "incomplete" / "encrypted headers", then
// each RAR5 file with "*" when it is encrypted.
std::string Describe(const RarLayout& layout) {
  std::string out = layout.format == RarFormat::kRar4   ? "rar4"
                    : layout.format == RarFormat::kRar5 ? "rar5"
                                                        : "unknown";
  if (layout.headersEncrypted) {
    out += " encrypted headers";
  } else if (layout.endBlock) {
    out += " end";
  } else if (!layout.Complete()) {
    out += " incomplete";
  }
  for (const RarFileHeader& file : layout.files) out += " " + file.name + (file.encrypted ? "*" : "");
  return out;
}

TEST(RarLayoutTest, WalksTheBlocksOfEachFormat) {
  const std::string multiple = Fixture("test_read_format_rar5_multiple_files.rar");
  const struct {
    const char* name;
    std::string bytes;
    const char* layout;
  } cases[] = {
      {"RAR4", Fixture("test_read_format_rar.rar"), "rar4 end"},
      {"RAR4 without its end block", Fixture("test_read_format_rar_noeof.rar"), "rar4 incomplete"},
      {"RAR4 built", BuildStoredRar4({{"a.txt", "abc"}}), "rar4 end"},
      {"RAR4 built without end", BuildStoredRar4({{"a.txt", "abc"}}, false), "rar4 incomplete"},
      {"RAR4 cut inside its data", BuildStoredRar4({{"a.txt", "abcdef"}}).substr(0, 60), "rar4 incomplete"},
      {"RAR5 stored", Fixture("test_read_format_rar5_stored.rar"), "rar5 end helloworld.txt"},
      {"RAR5 encrypted entries", Fixture("test_read_format_rar5_encrypted.rar"),
       "rar5 end a.txt b.txt* c.txt d.txt*"},
      {"RAR5 cut", multiple.substr(0, multiple.size() / 2), "rar5 incomplete test1.bin test2.bin"},
      {"RAR5 header cut", Fixture("test_read_format_rar5_bytes_remaining_underflow.rar"),
       "rar5 incomplete poc.txt"},
      {"RAR4 encrypted headers", std::string("Rar!\x1A\x07\x00\0\0\x73\x80\0\x0D\0", 14) + std::string(6, '\0'),
       "rar4 encrypted headers"},
      {"RAR5 encrypted headers", std::string("Rar!\x1A\x07\x01\x00" "\0\0\0\0\x02\x04\x00", 15),
       "rar5 encrypted headers"},
      {"no archive", "Rar!\x1A\x07", "unknown"},
      {"empty", "", "unknown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(Scan(c.bytes)), c.layout);
  }
}

// Headers whose sizes point anywhere must end the walk, never loop or read outside.
TEST(RarLayoutTest, DamagedHeadersEndTheWalk) {
  std::string rar5("Rar!\x1A\x07\x01\x00", 8);
  const std::string cases[] = {
      rar5 + std::string("\0\0\0\0\x00", 5),                         // header size 0
      rar5 + std::string("\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 14),  // endless vint
      rar5 + std::string("\0\0\0\0\x03\x02\x02\xFF", 8),              // data size cut
      rar5 + std::string("\0\0\0\0\x04\x02\x01\x05\x00", 9),          // extra larger than header
      std::string("Rar!\x1A\x07\x00", 7) + std::string("\0\0\x74\0\x80\x03\0", 7),  // size < 7
  };
  for (const std::string& bytes : cases) EXPECT_FALSE(Scan(bytes).Complete());
}

}  // namespace
}  // namespace varnisk::unrar
