#pragma once
// The C interface of the code-page module (varnisk-codepages.so), which converts between
// UTF-16 and the device's code pages with ICU's tables. The program opens the module
// the first time a conversion needs a table and finds these functions by name, so the
// declarations below are the whole contract between the two.
//
// A code page is a Windows code page number. Neither direction stops at bad input: bytes
// the code page does not define become U+FFFD, characters it cannot represent become
// "?". Each function writes at most `capacity` units to `out` (which may be null when
// `capacity` is 0) and returns the length of the whole result, so a caller whose buffer
// was too small calls again with that capacity. It returns -1 when the module has no
// table for the code page. Calls are not thread-safe: converters are cached and reused.

#include <cstddef>
#include <cstdint>

extern "C" {

// Decodes `length` bytes in code page `codePage` into UTF-16 code units.
int64_t VarniskCodePageToUtf16(uint32_t codePage, const char* bytes, size_t length,
                               char16_t* out, size_t capacity);

// Encodes `length` UTF-16 code units into bytes of code page `codePage`.
int64_t VarniskCodePageFromUtf16(uint32_t codePage, const char16_t* text, size_t length,
                                 char* out, size_t capacity);

// 1 when the module has a table for the code page, 0 when it has none.
int VarniskCodePageSupported(uint32_t codePage);

}  // extern "C"

namespace varnisk::platform {

inline constexpr char kCodePageModuleName[] = "varnisk-codepages.so";

using CodePageToUtf16Function = decltype(&VarniskCodePageToUtf16);
using CodePageFromUtf16Function = decltype(&VarniskCodePageFromUtf16);
using CodePageSupportedFunction = decltype(&VarniskCodePageSupported);

}  // namespace varnisk::platform
