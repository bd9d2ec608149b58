#pragma once
// Big buffers on the host. A fresh page costs a trap on first touch, and on the machines
// this runs on that trap is dear: a megabyte script pays more for its pages than for
// running. Asking the kernel to provide the pages of a big buffer in one call (and to
// back it with huge pages where it can) saves most of that.

#include <cstddef>

namespace varnisk::platform {

// Provides the pages of [data, data + size) for writing before the caller fills them.
// Does nothing for small buffers, or when the kernel cannot.
void PrepareBigBuffer(void* data, size_t size);

}  // namespace varnisk::platform
