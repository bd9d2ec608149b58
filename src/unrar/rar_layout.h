#pragma once
// The block layout of a RAR archive, read from its headers alone: whether the archive
// ends with its end-of-archive block, whether its headers are encrypted, and which RAR5
// entries carry an encryption record. libarchive reads the entries themselves but says
// none of this (its RAR5 reader passes over encryption records and decodes the
// encrypted bytes as if they were plain).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnisk::unrar {

enum class RarFormat { kUnknown, kRar4, kRar5 };

struct RarFileHeader {
  std::string name;  // as stored (UTF-8 in RAR5)
  bool encrypted = false;
};

struct RarLayout {
  RarFormat format = RarFormat::kUnknown;
  bool endBlock = false;          // the walk reached an end-of-archive block
  bool headersEncrypted = false;  // the headers after the archive header are encrypted
  bool capped = false;            // the walk stopped at kMaxScannedFiles
  std::vector<RarFileHeader> files;  // RAR5 file headers, in archive order

  // Whether the archive's blocks lead to its end-of-archive block, or cannot be judged
  // (a format not recognised at the start of the file, encrypted headers, the walk's
  // bound). False for an archive cut short or with a header that cannot be read: one
  // that ends early although its entries so far were sound.
  bool Complete() const {
    return format == RarFormat::kUnknown || endBlock || headersEncrypted || capped;
  }
};

// Bounds the memory a walk holds for an archive of many small entries.
constexpr size_t kMaxScannedFiles = 1 << 20;

// Reads up to size bytes at offset into buffer and answers how many arrived.
using ReadAt = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

// Walks the blocks of the archive of fileSize bytes that read reaches. Any bytes are
// safe: each block must lie within the file and move the walk forward.
RarLayout ScanRarLayout(const ReadAt& read, uint64_t fileSize);

}  // namespace varnisk::unrar
