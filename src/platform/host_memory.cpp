#include "platform/host_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace varnisk::platform {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kHugePage = 2 << 20;
constexpr size_t kBigBuffer = 256 << 10;
#ifndef MADV_POPULATE_WRITE
constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14
#endif

}  // namespace

void PrepareBigBuffer(void* data, size_t size) {
  if (size < kBigBuffer) return;
  const auto start = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = (start + size) & ~(kPage - 1);
  if (last <= first) return;
  const uintptr_t hugeFirst = (start + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t hugeLast = (start + size) & ~(kHugePage - 1);
  if (hugeLast > hugeFirst) {
    madvise(reinterpret_cast<void*>(hugeFirst), hugeLast - hugeFirst, MADV_HUGEPAGE);
  }
  madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}

}  // namespace varnisk::platform
