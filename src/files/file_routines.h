#pragma once
// The small file routines that FILE, LINK and the archives share.

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace varnisk::files {

// Writes bytes to the file at path, replacing it or, with append, adding to its end (the
// file is created when missing). The number of bytes written; 0 when the file could not
// be written.
size_t WriteTextFile(platform::FileSystem& files, std::u16string_view path,
                     std::string_view bytes, bool append);

// Creates every folder that path names before its last "\" that does not exist yet;
// folders that cannot be created are passed over.
void EnsureDirectories(platform::FileSystem& files, std::u16string_view path);

// The file's bytes (at most bound of them), or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(platform::FileSystem& files, std::u16string_view path,
                                         uint64_t bound = UINT64_MAX);

}  // namespace varnisk::files
