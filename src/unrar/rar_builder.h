#pragma once
// Builds small RAR4 archives of stored (uncompressed) entries for tests, so that a test
// can put into an archive exactly the names, links and truncations it is about.

#include <string>
#include <vector>

namespace varnisk::unrar {

struct StoredEntry {
  enum class Kind { kFile, kFolder, kSymlink };
  std::string name;  // stored as written, in UTF-8
  std::string data;  // a file's bytes, or a link's target
  Kind kind = Kind::kFile;
};

// The archive's bytes: marker, archive header, each entry's header and data, and the
// end-of-archive block unless withEnd is false.
std::string BuildStoredRar4(const std::vector<StoredEntry>& entries, bool withEnd = true);

}  // namespace varnisk::unrar
