#include "unrar/rar_layout.h"

#include <cstring>
#include <string_view>

namespace varnisk::unrar {
namespace {

constexpr char kRar4Signature[] = "Rar!\x1A\x07\x00";      // 7 bytes
constexpr char kRar5Signature[] = "Rar!\x1A\x07\x01\x00";  // 8 bytes

// RAR4 block types and flags.
constexpr uint8_t kRar4MainHeader = 0x73;
constexpr uint8_t kRar4FileHeader = 0x74;
constexpr uint8_t kRar4SubBlock = 0x7A;
constexpr uint8_t kRar4EndBlock = 0x7B;
constexpr uint16_t kRar4LongBlock = 0x8000;       // an ADD_SIZE field follows
constexpr uint16_t kRar4HeadersEncrypted = 0x0080;  // of the main header
constexpr uint16_t kRar4LargeFile = 0x0100;         // HIGH_PACK_SIZE present

// RAR5 header types and flags.
constexpr uint64_t kRar5FileHeader = 2;
constexpr uint64_t kRar5EncryptionHeader = 4;
constexpr uint64_t kRar5EndHeader = 5;
constexpr uint64_t kRar5HasExtra = 0x1;
constexpr uint64_t kRar5HasData = 0x2;
constexpr uint64_t kRar5FileHasTime = 0x2;
constexpr uint64_t kRar5FileHasCrc = 0x4;
constexpr uint64_t kRar5EncryptionRecord = 1;
constexpr uint64_t kRar5MaxHeader = 2 * 1024 * 1024;  // the format's own limit

// Reads little-endian numbers and RAR5 variable-length integers from a header's bytes;
// reading past the end sets failed and gives 0.
class HeaderReader {
 public:
  explicit HeaderReader(std::string_view bytes) : bytes_(bytes) {}

  uint64_t Fixed(size_t size) {
    if (size > bytes_.size() - at_) return Fail();
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint64_t{static_cast<uint8_t>(bytes_[at_ + i])} << (8 * i);
    at_ += size;
    return value;
  }
  // 7 bits a byte, lowest first, while the top bit is set; at most ten bytes.
  uint64_t Vint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 70; shift += 7) {
      if (at_ >= bytes_.size()) return Fail();
      const auto byte = static_cast<uint8_t>(bytes_[at_++]);
      value |= uint64_t{byte & 0x7Fu} << shift;
      if ((byte & 0x80) == 0) return value;
    }
    return Fail();
  }
  std::string_view Bytes(uint64_t size) {
    if (size > bytes_.size() - at_) {
      Fail();
      return {};
    }
    const std::string_view part = bytes_.substr(at_, size);
    at_ += size;
    return part;
  }
  size_t At() const { return at_; }
  bool failed() const { return failed_; }

 private:
  uint64_t Fail() {
    failed_ = true;
    at_ = bytes_.size();
    return 0;
  }
  std::string_view bytes_;
  size_t at_ = 0;
  bool failed_ = false;
};

std::string ReadBytes(const ReadAt& read, uint64_t offset, size_t size) {
  std::string bytes(size, '\0');
  bytes.resize(read(offset, bytes.data(), size));
  return bytes;
}

// Whether the extra area of a RAR5 file header holds an encryption record.
bool HasEncryptionRecord(std::string_view extra) {
  HeaderReader records(extra);
  while (records.At() < extra.size()) {
    const uint64_t size = records.Vint();
    const size_t start = records.At();
    const uint64_t type = records.Vint();
    if (records.failed() || size == 0) return false;
    if (type == kRar5EncryptionRecord) return true;
    records.Bytes(size - (records.At() - start));
    if (records.failed()) return false;
  }
  return false;
}

// Block by block from the signature: CRC32, header size, then the header, of which the
// type, flags, the sizes of its extra area and data, and for files the name and extra
// records are read.
void ScanRar5(const ReadAt& read, uint64_t fileSize, RarLayout& layout) {
  uint64_t at = sizeof kRar5Signature - 1;
  while (at < fileSize) {
    const std::string start = ReadBytes(read, at, 4 + 10);  // CRC32, then the size
    HeaderReader prefix(start);
    prefix.Fixed(4);  // CRC32
    const uint64_t headerSize = prefix.Vint();
    if (prefix.failed() || headerSize == 0 || headerSize > kRar5MaxHeader) return;
    const uint64_t headerStart = at + prefix.At();
    if (headerSize > fileSize - headerStart) return;
    const std::string bytes = ReadBytes(read, headerStart, headerSize);
    HeaderReader header(bytes);
    const uint64_t type = header.Vint();
    const uint64_t flags = header.Vint();
    const uint64_t extraSize = flags & kRar5HasExtra ? header.Vint() : 0;
    const uint64_t dataSize = flags & kRar5HasData ? header.Vint() : 0;
    if (header.failed() || bytes.size() != headerSize || extraSize > headerSize) return;
    if (type == kRar5EncryptionHeader) {
      layout.headersEncrypted = true;
      return;
    }
    if (type == kRar5EndHeader) {
      layout.endBlock = true;
      return;
    }
    if (type == kRar5FileHeader) {
      if (layout.files.size() == kMaxScannedFiles) {
        layout.capped = true;
        return;
      }
      const uint64_t fileFlags = header.Vint();
      header.Vint();  // unpacked size
      header.Vint();  // attributes
      if (fileFlags & kRar5FileHasTime) header.Fixed(4);
      if (fileFlags & kRar5FileHasCrc) header.Fixed(4);
      header.Vint();  // compression
      header.Vint();  // host system
      const std::string_view name = header.Bytes(header.Vint());
      if (header.failed()) return;
      const std::string_view extra(bytes.data() + bytes.size() - extraSize, extraSize);
      layout.files.push_back({std::string(name), HasEncryptionRecord(extra)});
    }
    const uint64_t end = headerStart + headerSize;
    if (dataSize > fileSize - end) return;  // data cut off
    at = end + dataSize;
  }
}

// Block by block from the marker: CRC16, type, flags and size, and ADD_SIZE (with its high
// part for large files) for blocks that carry data.
void ScanRar4(const ReadAt& read, uint64_t fileSize, RarLayout& layout) {
  uint64_t at = sizeof kRar4Signature - 1;
  while (at < fileSize) {
    const std::string bytes = ReadBytes(read, at, 36);
    HeaderReader header(bytes);
    header.Fixed(2);  // CRC16
    const auto type = static_cast<uint8_t>(header.Fixed(1));
    const auto flags = static_cast<uint16_t>(header.Fixed(2));
    const uint64_t size = header.Fixed(2);
    if (header.failed() || size < 7) return;
    if (type == kRar4EndBlock) {
      layout.endBlock = true;
      return;
    }
    if (type == kRar4MainHeader && (flags & kRar4HeadersEncrypted)) {
      layout.headersEncrypted = true;
      return;
    }
    uint64_t dataSize = 0;
    if ((flags & kRar4LongBlock) || type == kRar4FileHeader) dataSize = header.Fixed(4);
    if ((type == kRar4FileHeader || type == kRar4SubBlock) && (flags & kRar4LargeFile)) {
      HeaderReader high(std::string_view(bytes).substr(std::min<size_t>(bytes.size(), 32)));
      dataSize |= high.Fixed(4) << 32;
      if (high.failed()) return;
    }
    if (header.failed()) return;
    if (size > fileSize - at || dataSize > fileSize - at - size) return;  // cut off
    at += size + dataSize;
  }
}

}  // namespace

RarLayout ScanRarLayout(const ReadAt& read, uint64_t fileSize) {
  RarLayout layout;
  const std::string start = ReadBytes(read, 0, 8);
  if (start == std::string_view(kRar5Signature, 8)) {
    layout.format = RarFormat::kRar5;
    ScanRar5(read, fileSize, layout);
  } else if (start.substr(0, 7) == std::string_view(kRar4Signature, 7)) {
    layout.format = RarFormat::kRar4;
    ScanRar4(read, fileSize, layout);
  }
  return layout;
}

}  // namespace varnisk::unrar
