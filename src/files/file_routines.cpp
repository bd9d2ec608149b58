#include "files/file_routines.h"

namespace varnisk::files {

size_t WriteTextFile(platform::FileSystem& files, std::u16string_view path,
                     std::string_view bytes, bool append) {
  const Result result = append ? files.AppendFile(path, bytes) : files.WriteFile(path, bytes);
  return result == kSuccess ? bytes.size() : 0;
}

void EnsureDirectories(platform::FileSystem& files, std::u16string_view path) {
  for (size_t slash = path.find(u'\\'); slash != std::u16string_view::npos;
       slash = path.find(u'\\', slash + 1)) {
    const std::u16string_view folder = path.substr(0, slash);
    if (folder.empty()) continue;
    const auto attributes = files.GetAttributes(folder);
    if (!attributes || !(*attributes & platform::kAttributeDirectory)) files.CreateFolder(folder);
  }
}

std::optional<std::string> ReadFileBytes(platform::FileSystem& files, std::u16string_view path,
                                         uint64_t bound) {
  auto bytes = files.ReadFile(path, bound);
  if (!bytes) return std::nullopt;
  return std::move(*bytes);
}

}  // namespace varnisk::files
