#pragma once
// Where the UnRAR library puts the entries it extracts: below one destination folder,
// whatever names the archive stores. Names are looked up without regard to case, as the
// device looks them up, so that an entry joins a folder of the same name in another case.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace varnisk::unrar {

// Owns one host descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd();
  int Get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The names an entry's stored path leads through: "/" and "\" both separate names, empty
// names and "." are passed over, ".." drops the name before it but never leaves the
// destination. Characters no device name may hold (controls and <>:"|?*) become "_",
// and bytes that are no UTF-8 become U+FFFD.
std::vector<std::string> EntryNames(std::string_view storedPath);

// A file being written, and where it lies so that it can be removed again.
struct OpenedEntry {
  Fd file;
  Fd folder;
  std::string name;
};

// Writes below the destination folder open as root (borrowed; it must stay open). Every
// step opens one name of the folder before with RESOLVE_BENEATH, so that neither a
// stored name nor a symbolic link already in the destination leads out of it.
class EntryWriter {
 public:
  explicit EntryWriter(int root) : root_(root) {}

  // Creates the folder the names lead to and every folder above it. 0 or the errno that
  // stopped it.
  int MakeFolders(const std::vector<std::string>& names);

  // Opens the file the names lead to for writing, creating it and the folders above it,
  // or emptying the file that is there. An existing file without write permission (the
  // device's read-only attribute), a folder or anything else there is refused (EACCES,
  // EISDIR ...). 0 or the errno.
  int CreateFile(const std::vector<std::string>& names, OpenedEntry& opened);

 private:
  // The case-blind index of one folder's names, read when the folder was last seen to
  // change by someone other than this writer.
  struct Listing {
    timespec changed{};
    std::unordered_map<std::u16string, std::string> names;  // upper case -> stored name
  };

  // Opens the folder that the first count names lead to, creating what is missing.
  int OpenFolder(const std::vector<std::string>& names, size_t count, Fd& folder);
  // The stored name in folder for name: itself when it exists as written, else the
  // first entry equal without regard to case, else empty.
  std::string Find(int folder, const std::string& name);
  // Adds a name this writer has just created in folder to its listing, if it has one.
  void Created(int folder, const std::string& name);
  // The folder's listing, read when there is none or the folder changed since.
  Listing* ListingOf(int folder);

  int root_;
  std::map<std::pair<dev_t, ino_t>, Listing> listings_;
};

}  // namespace varnisk::unrar
