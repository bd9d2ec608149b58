// The UnRAR library's own readers of archive bytes: the block walk over any bytes, and
// the names an entry's stored path leads through.

#include <algorithm>
#include <cstring>
#include <string>

#include "unrar/entry_writer.h"
#include "unrar/rar_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk::unrar;
  const RarLayout layout = ScanRarLayout(
      [&](uint64_t offset, void* buffer, size_t wanted) -> size_t {
        if (offset >= size) return 0;
        const size_t n = std::min<size_t>(wanted, size - offset);
        std::memcpy(buffer, data + offset, n);
        return n;
      },
      size);
  layout.Complete();
  for (const std::string& name : EntryNames(std::string(reinterpret_cast<const char*>(data), size))) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
      __builtin_trap();
    }
  }
  return 0;
}
