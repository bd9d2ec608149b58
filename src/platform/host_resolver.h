#pragma once
// The confined, case-blind path resolution under the host file system (private to
// host_file_system.cpp): every host file it opens lies inside one base folder, whatever
// symbolic links or ".." a path holds, and names are found without regard to case.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/expected.h"
#include "platform/result.h"

namespace varnisk::platform {

// Owns one host file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd();
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// What was being done when the host refused, which decides the device's name for it.
enum class Stage {
  kFolder,  // walking the folders above the last name
  kName,    // looking up the last name
  kRead,
  kWrite,
};

// The one place where host errors become the device's result codes.
Result ResultFromErrno(int error, Stage stage);

// Opens path (relative to base, "" for base itself) as if base were "/": ".." and
// symbolic links, absolute ones too, never lead out of base. One system call; the
// descriptor is closed on exec.
Expected<UniqueFd, int> OpenConfined(int base, const std::string& path, uint64_t flags,
                                     uint64_t mode = 0);

// folder + "/" + name, or name alone when folder is "" (the base).
std::string Join(std::string_view folder, std::string_view name);
// The host path of the first count names, in the case they are written.
std::string HostPath(const std::vector<std::u16string>& names, size_t count);

// One entry of a host folder, with its kind as the folder reports it (DT_DIR, DT_LNK ...,
// DT_UNKNOWN when the host file system does not say).
struct FolderEntry {
  std::string name;
  unsigned char type;
};

// Every entry of the open folder but "." and "..", read from its start.
Expected<std::vector<FolderEntry>, Result> ReadFolder(int folder);

// A case-blind index of each folder read recently: creating thousands of files in one
// folder must not read the whole folder again for every new name.
class HostFolderIndex {
 public:
  // The stored name of the entry in the folder open as folder that name denotes: the
  // exact case when present, else the first entry equal without regard to case; nullopt
  // when there is none.
  Expected<std::optional<std::string>, Result> Find(int folder, std::u16string_view name);

  // Adds a name this program has just created in the folder, so that the index stays
  // current without a new read. Another program adding a name in the same microseconds
  // goes unseen by case-blind lookups until the folder changes again; lookups in the
  // name's exact case never use the index. False when the folder has a listing and its
  // change time has not moved since: then the name did not land in this folder.
  bool Created(int folder, const std::string& stored);

  // As Created, for a folder just made: it is known to be empty, so the first names
  // created in it cost no read of it.
  void CreatedFolder(int folder, const std::string& stored);

  // Takes a name this program has just removed out of the folder's listing. before is the
  // folder's change time taken just before the removal: a listing that was not current
  // then, or that holds names equal without regard to case (another of which should now
  // answer), is dropped instead and read again when next needed.
  void Removed(int folder, const std::string& stored, const timespec& before);

  // Drops the listing of a folder that lost names in ways not tracked one by one, or that
  // is gone (so that a new folder given its inode cannot inherit its names).
  void Forget(dev_t device, ino_t inode);
  void Forget(int folder);

  // The folder this program last created a new file in (a copy filling it), kept open
  // with its path from base so that the next new name there needs no walk to the folder.
  // The path is only a hint: see Resolver::CreateWhileFilling.
  void Filling(int base, std::string path, UniqueFd folder) {
    filling_ = Filled{base, std::move(path), std::move(folder)};
  }
  // The open folder last filled from base at path, or -1.
  int FillingFolder(int base, std::string_view path) const {
    return filling_.base == base && filling_.path == path ? filling_.folder.Get() : -1;
  }
  // Called when this program removes or moves entries: the folder may be gone.
  void StopFilling() { filling_ = Filled{}; }

 private:
  // Enough for a tree copy going folder by folder; bounds the memory held.
  static constexpr size_t kMaxListings = 8;

  struct Listing {
    dev_t device;
    ino_t inode;
    timespec changed;  // the folder's change time when it was read
    std::unordered_map<std::u16string, std::string> names;  // Key(name) -> stored name
    bool twins;  // some names are equal without regard to case
  };

  Listing* Current(const struct stat& st);
  Expected<Listing*, Result> Read(int folder, const struct stat& st);
  Listing* Keep(Listing listing);

  struct Filled {
    int base = -1;
    std::string path;
    UniqueFd folder;
  };

  std::vector<Listing> listings_;  // oldest first
  Filled filling_;
};

// Where a path's last name lies.
struct Located {
  UniqueFd folderFd;   // the folder holding the last name, open for reading
  std::string folder;  // its path from the base, as stored ("" for the base)
  std::string name;    // stored last name, or the name as asked when nothing matches
  bool exists = false;
};

// A file opened for writing, and whether this open created it.
struct OpenedForWriting {
  UniqueFd fd;
  bool created = false;
};

// Resolves device paths of one folder tree (the device root or the card) and opens what
// they name. The exact case costs one system call; another case walks the folders.
class Resolver {
 public:
  Resolver(int base, HostFolderIndex& index) : base_(base), index_(index) {}

  int Base() const { return base_; }
  HostFolderIndex& Index() const { return index_; }

  // Opens the existing entry that the first count names denote.
  Expected<UniqueFd, Result> OpenEntry(const std::vector<std::u16string>& names,
                                       size_t count, uint64_t flags) const;

  // Finds the last of names (at least one) in the folder the others denote.
  Expected<Located, Result> LocateLast(const std::vector<std::u16string>& names) const;

  // Opens the file the names denote for writing, creating it with mode under the asked
  // name when no entry of that name exists in any case.
  Expected<OpenedForWriting, Result> OpenForWriting(const std::vector<std::u16string>& names,
                                                    uint64_t flags, mode_t mode) const;

  // Creates the folder the names denote in its parent, unless the name is taken in any
  // case.
  Result MakeFolder(const std::vector<std::u16string>& names) const;

  // Removes the name the names denote from its folder: a file when folder is false, an
  // empty folder when it is true. Judged by what the device sees there, so a symbolic
  // link counts as what it leads to (one leading nowhere as a file), but only the link
  // itself is ever removed: unlinkat acts on one name in a confined folder.
  Result Remove(const std::vector<std::u16string>& names, bool folder) const;

 private:
  Expected<Located, Result> Locate(const std::vector<std::u16string>& names) const;
  std::optional<UniqueFd> CreateWhileFilling(const std::vector<std::u16string>& names,
                                             uint64_t flags, mode_t mode) const;
  void Undo(const std::vector<std::u16string>& names, int created) const;

  int base_;
  HostFolderIndex& index_;
};

}  // namespace varnisk::platform
