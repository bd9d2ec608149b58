#include "unrar/rar_builder.h"

#include <array>
#include <cstdint>

namespace varnisk::unrar {
namespace {

uint32_t Crc32(std::string_view bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (char byte : bytes) crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void Put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// A block: CRC16 of everything from the type on, then type, flags, size and body.
std::string Block(uint8_t type, uint16_t flags, const std::string& body) {
  std::string header;
  Put(header, type, 1);
  Put(header, flags, 2);
  Put(header, 7 + body.size(), 2);
  header += body;
  std::string block;
  Put(block, Crc32(header) & 0xFFFF, 2);
  return block + header;
}

}  // namespace

std::string BuildStoredRar4(const std::vector<StoredEntry>& entries, bool withEnd) {
  std::string archive("Rar!\x1A\x07\x00", 7);
  archive += Block(0x73, 0, std::string(6, '\0'));
  for (const StoredEntry& entry : entries) {
    const bool folder = entry.kind == StoredEntry::Kind::kFolder;
    const bool link = entry.kind == StoredEntry::Kind::kSymlink;
    std::string body;
    Put(body, entry.data.size(), 4);        // packed size
    Put(body, entry.data.size(), 4);        // unpacked size
    Put(body, link ? 3 : 2, 1);             // host: Unix for links, else Windows
    Put(body, Crc32(entry.data), 4);
    Put(body, 0x5A210000, 4);               // DOS time: 2025-01-01
    Put(body, 29, 1);                       // version needed: 2.9
    Put(body, 0x30, 1);                     // stored
    Put(body, entry.name.size(), 2);
    Put(body, link ? 0120777 : folder ? 0x10 : 0x20, 4);
    body += entry.name;
    archive += Block(0x74, 0x8000 | (folder ? 0x00E0 : 0), body) + entry.data;
  }
  if (withEnd) archive += Block(0x7B, 0x4000, "");
  return archive;
}

}  // namespace varnisk::unrar
