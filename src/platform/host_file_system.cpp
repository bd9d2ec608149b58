#include "platform/host_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/device_path.h"
#include "platform/host_memory.h"
#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

constexpr std::u16string_view kCardFolder = u"Storage Card";

// Owns one host file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// What was being done when the host refused, which decides the device's name for it.
enum class Stage {
  kFolder,  // walking the folders above the last name
  kName,    // looking up the last name
  kRead,
  kWrite,
};

// The one place where host errors become the device's result codes.
Result ResultFromErrno(int error, Stage stage) {
  switch (error) {
    case ENOENT:
      return stage == Stage::kName ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorWriteFault;
    case EIO:
      return stage == Stage::kWrite ? kErrorWriteFault : kErrorReadFault;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
      return kErrorNotEnoughMemory;
    case EILSEQ:
      return kErrorInvalidName;
    default:  // EACCES, EPERM, EROFS, EISDIR, ELOOP, ETXTBSY ...: the device says no
      return kErrorAccessDenied;
  }
}

// A device path taken apart: the folder it starts from and the names below it, with "."
// and ".." already applied.
struct DevicePath {
  bool onCard = false;
  std::vector<std::u16string> names;
};

Expected<DevicePath, Result> ParseDevicePath(std::u16string_view path, bool hasCard) {
  auto names = SplitDevicePath(path);
  if (!names) return Unexpected{names.error()};
  DevicePath out;
  out.names = std::move(*names);
  if (hasCard && !out.names.empty() && EqualsNoCase(out.names.front(), kCardFolder)) {
    out.onCard = true;
    out.names.erase(out.names.begin());
  }
  return out;
}

std::string Join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty()) out += '/';
  out += name;
  return out;
}

std::string HostPath(const std::vector<std::u16string>& names, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out = Join(out, Utf16ToUtf8(names[i]));
  return out;
}

// Opens path (relative to base, "" for base itself) as if base were "/": ".." and
// symbolic links, absolute ones too, never lead out of base. One system call.
Expected<UniqueFd, int> OpenConfined(int base, const std::string& path, uint64_t flags,
                                     uint64_t mode = 0) {
  open_how how{};
  how.flags = flags | O_CLOEXEC;
  how.mode = mode;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  const char* target = path.empty() ? "." : path.c_str();
  // The kernel answers EAGAIN when a rename raced with the lookup; a retry settles it.
  for (int attempt = 0;; ++attempt) {
    const long fd = syscall(SYS_openat2, base, target, &how, sizeof how);
    if (fd >= 0) return UniqueFd(static_cast<int>(fd));
    if ((errno != EAGAIN && errno != EINTR) || attempt == 8) return Unexpected{errno};
  }
}

}  // namespace

// A case-blind index of each folder read recently: creating thousands of files in one
// folder must not read the whole folder again for every new name.
class HostFolderIndex {
 public:
  // The stored name of the entry in the folder open as folder that name denotes: the
  // exact case when present, else the first entry equal without regard to case; nullopt
  // when there is none.
  Expected<std::optional<std::string>, Result> Find(int folder, std::u16string_view name) {
    std::string exact = Utf16ToUtf8(name);
    struct stat st;
    if (fstatat(folder, exact.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return exact;
    if (errno != ENOENT) return Unexpected{ResultFromErrno(errno, Stage::kName)};
    if (fstat(folder, &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
    Listing* listing = Current(st);
    if (listing == nullptr) {
      auto read = Read(folder, st);
      if (!read) return Unexpected{read.error()};
      listing = *read;
    }
    const auto it = listing->names.find(Key(name));
    if (it == listing->names.end()) return std::optional<std::string>();
    return it->second;
  }

  // Adds a name this program has just created in the folder, so that the index stays
  // current without a new read. Another program adding a name in the same microseconds
  // goes unseen by case-blind lookups until the folder changes again; lookups in the
  // name's exact case never use the index.
  void Created(int folder, const std::string& stored) {
    struct stat st;
    if (fstat(folder, &st) != 0) return;
    for (Listing& listing : listings_) {
      if (listing.device == st.st_dev && listing.inode == st.st_ino) {
        listing.names.emplace(Key(Utf8ToUtf16(stored)), stored);
        listing.changed = st.st_ctim;
      }
    }
  }

  // Takes a name this program has just removed out of the folder's listing. before is the
  // folder's change time taken just before the removal: a listing that was not current
  // then, or that holds names equal without regard to case (another of which should now
  // answer), is dropped instead and read again when next needed.
  void Removed(int folder, const std::string& stored, const timespec& before) {
    struct stat st;
    if (fstat(folder, &st) != 0) {
      listings_.clear();
      return;
    }
    std::erase_if(listings_, [&](Listing& listing) {
      if (listing.device != st.st_dev || listing.inode != st.st_ino) return false;
      if (listing.twins || !SameTime(listing.changed, before)) return true;
      listing.names.erase(Key(Utf8ToUtf16(stored)));
      listing.changed = st.st_ctim;
      return false;
    });
  }

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

  static bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  }

  static std::u16string Key(std::u16string_view name) {
    std::u16string key(name);
    for (char16_t& c : key) c = UpperCase(c);
    return key;
  }

  // The listing of the folder, if nothing was added to or removed from it since: every
  // such change sets the folder's change time, and this kernel gives a change that
  // follows a stat a new fine-grained time.
  Listing* Current(const struct stat& st) {
    for (Listing& listing : listings_) {
      if (listing.device == st.st_dev && listing.inode == st.st_ino &&
          SameTime(listing.changed, st.st_ctim)) {
        return &listing;
      }
    }
    return nullptr;
  }

  // Reads the folder whose status (taken before reading, so that a change during the read
  // makes the listing stale) is st.
  Expected<Listing*, Result> Read(int folder, const struct stat& st) {
    const int listFd = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
    DIR* dir = fdopendir(listFd);
    if (dir == nullptr) {
      close(listFd);
      return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
    }
    Listing listing{st.st_dev, st.st_ino, st.st_ctim, {}, false};
    while (const dirent* entry = readdir(dir)) {
      const std::string_view stored = entry->d_name;
      if (stored == "." || stored == "..") continue;
      // The first match stays.
      if (!listing.names.emplace(Key(Utf8ToUtf16(stored)), stored).second) {
        listing.twins = true;
      }
    }
    closedir(dir);
    std::erase_if(listings_, [&](const Listing& old) {
      return old.device == st.st_dev && old.inode == st.st_ino;
    });
    if (listings_.size() == kMaxListings) listings_.erase(listings_.begin());
    listings_.push_back(std::move(listing));
    return &listings_.back();
  }

  std::vector<Listing> listings_;  // oldest first
};

namespace {

// Where a device path leads when its case differs from the stored one.
struct Located {
  UniqueFd folderFd;   // the folder holding the last name, open for reading
  std::string folder;  // its stored path
  std::string name;    // stored last name, or the name as asked when nothing matches
  bool exists = false;
};

// Resolves device paths of one folder tree (the device root or the card) and opens what
// they name. The exact case costs one system call; another case walks the folders.
class Resolver {
 public:
  Resolver(int base, HostFolderIndex& index) : base_(base), index_(index) {}

  // Opens the existing entry that the first count names denote.
  Expected<UniqueFd, Result> OpenEntry(const std::vector<std::u16string>& names,
                                       size_t count, uint64_t flags) const {
    const Stage stage = count == names.size() ? Stage::kName : Stage::kFolder;
    auto fd = OpenConfined(base_, HostPath(names, count), flags);
    if (fd) return std::move(*fd);
    if (fd.error() != ENOENT || count == 0) {
      return Unexpected{ResultFromErrno(fd.error(), stage)};
    }
    auto located = Locate({names.begin(), names.begin() + count});
    if (!located) return Unexpected{located.error()};
    if (!located->exists) return Unexpected{ResultFromErrno(ENOENT, stage)};
    fd = OpenConfined(base_, Join(located->folder, located->name), flags);
    if (!fd) return Unexpected{ResultFromErrno(fd.error(), stage)};
    return std::move(*fd);
  }

  // Opens the file the names denote for writing, creating it under the asked name when no
  // entry of that name exists in any case.
  Expected<UniqueFd, Result> OpenForWriting(const std::vector<std::u16string>& names,
                                            uint64_t flags) const {
    auto fd = OpenConfined(base_, HostPath(names, names.size()), flags);
    if (fd) return std::move(*fd);
    if (fd.error() != ENOENT) return Unexpected{ResultFromErrno(fd.error(), Stage::kName)};
    auto located = Locate(names);
    if (!located) return Unexpected{located.error()};
    if (located->exists) {
      // A dangling link is followed, so its target is created, still inside base.
      fd = OpenConfined(base_, Join(located->folder, located->name), flags | O_CREAT, 0666);
      if (!fd) return Unexpected{ResultFromErrno(fd.error(), Stage::kWrite)};
      return std::move(*fd);
    }
    // One name relative to a confined folder; O_NOFOLLOW refuses a link planted meanwhile.
    const int created =
        openat(located->folderFd.Get(), located->name.c_str(),
               static_cast<int>(flags) | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (created < 0) return Unexpected{ResultFromErrno(errno, Stage::kWrite)};
    index_.Created(located->folderFd.Get(), located->name);
    return UniqueFd(created);
  }

  // Creates the folder the names denote in its parent, unless the name is taken in any
  // case.
  Result MakeFolder(const std::vector<std::u16string>& names) const {
    auto parent = OpenEntry(names, names.size() - 1, O_RDONLY | O_DIRECTORY);
    if (!parent) return parent.error();
    auto taken = index_.Find(parent->Get(), names.back());
    if (!taken) return taken.error();
    if (*taken) return kErrorAlreadyExists;
    // mkdirat never follows a link in the last name, and that name holds no "/".
    const std::string name = Utf16ToUtf8(names.back());
    if (mkdirat(parent->Get(), name.c_str(), 0777) != 0) {
      return ResultFromErrno(errno, Stage::kName);
    }
    index_.Created(parent->Get(), name);
    return kSuccess;
  }

  // Removes the name the names denote from its folder: a file when folder is false, an
  // empty folder when it is true. Judged by what the device sees there, so a symbolic
  // link counts as what it leads to (one leading nowhere as a file), but only the link
  // itself is ever removed: unlinkat acts on one name in a confined folder.
  Result Remove(const std::vector<std::u16string>& names, bool folder) const {
    auto parent = OpenEntry(names, names.size() - 1, O_RDONLY | O_DIRECTORY);
    if (!parent) return parent.error();
    auto found = index_.Find(parent->Get(), names.back());
    if (!found) return found.error();
    if (!*found) return kErrorFileNotFound;
    const std::string& stored = **found;
    struct stat entry, seen, before;
    if (fstatat(parent->Get(), stored.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
      return ResultFromErrno(errno, Stage::kName);
    }
    seen = entry;
    if (S_ISLNK(entry.st_mode)) {
      if (auto target = OpenEntry(names, names.size(), O_PATH)) fstat(target->Get(), &seen);
    }
    // The program runs as root, which ignores permission bits: read-only is kept here.
    const bool readOnly = !S_ISLNK(seen.st_mode) && (seen.st_mode & 0222) == 0;
    // Removing a link shown as a folder would not remove the folder it shows.
    const bool refused = folder ? !S_ISDIR(seen.st_mode) || S_ISLNK(entry.st_mode)
                                : S_ISDIR(seen.st_mode);
    if (refused || readOnly) return kErrorAccessDenied;
    if (fstat(parent->Get(), &before) != 0) return ResultFromErrno(errno, Stage::kFolder);
    if (unlinkat(parent->Get(), stored.c_str(), folder ? AT_REMOVEDIR : 0) != 0) {
      // A folder that is not empty may also be reported as EEXIST.
      return folder && errno == EEXIST ? kErrorDirNotEmpty
                                       : ResultFromErrno(errno, Stage::kName);
    }
    index_.Removed(parent->Get(), stored, before.st_ctim);
    return kSuccess;
  }

 private:
  // Walks the folders one by one, each opened afresh from base so that symbolic links on
  // the way resolve exactly as in OpenConfined. Only taken after the exact case missed.
  Expected<Located, Result> Locate(const std::vector<std::u16string>& names) const {
    Located out;
    for (size_t i = 0; i < names.size(); ++i) {
      auto folder = OpenConfined(base_, out.folder, O_RDONLY | O_DIRECTORY);
      if (!folder) return Unexpected{ResultFromErrno(folder.error(), Stage::kFolder)};
      auto found = index_.Find(folder->Get(), names[i]);
      if (!found) return Unexpected{found.error()};
      if (i + 1 < names.size()) {
        if (!*found) return Unexpected{kErrorPathNotFound};
        out.folder = Join(out.folder, **found);
      } else {
        out.folderFd = std::move(*folder);
        out.exists = found->has_value();
        out.name = out.exists ? std::move(**found) : Utf16ToUtf8(names[i]);
      }
    }
    return out;
  }

  int base_;
  HostFolderIndex& index_;
};

uint32_t AttributesOf(const struct stat& st) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
  if ((st.st_mode & 0222) == 0) attributes |= kAttributeReadOnly;
  return attributes;
}

Result WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return ResultFromErrno(errno, Stage::kWrite);
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return kSuccess;
}

// Reads up to maxBytes; a read that fails part way yields what came before it.
// Reads into data until size bytes arrived or the file ends; returns the count.
size_t ReadFully(int fd, char* data, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, data + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// The file's bytes, at most maxBytes. The size the file reported is read into one
// buffer; a file that has grown since is read on in chunks.
std::string ReadUpTo(int fd, uint64_t sizeHint, uint64_t maxBytes) {
  const size_t expected = static_cast<size_t>(std::min(maxBytes, sizeHint));
  std::string bytes;
  // The callback's size argument is not used: this standard library passes the capacity.
  bytes.resize_and_overwrite(expected, [&](char* data, size_t) {
    PrepareBigBuffer(data, expected);
    return ReadFully(fd, data, expected);
  });
  char chunk[16 * 1024];
  bool more = bytes.size() == expected;
  while (more && bytes.size() < maxBytes) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(sizeof chunk, maxBytes - bytes.size()));
    const size_t n = ReadFully(fd, chunk, want);
    bytes.append(chunk, n);
    more = n == want;
  }
  return bytes;
}

}  // namespace

Expected<std::unique_ptr<HostFileSystem>, std::string> HostFileSystem::Open(
    const std::string& filesRoot, const std::string& cardRoot) {
  auto openFolder = [](const std::string& path,
                       const char* what) -> Expected<UniqueFd, std::string> {
    const int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      return Unexpected{std::string("cannot open ") + what + " " + path + ": " +
                        std::strerror(errno)};
    }
    return UniqueFd(fd);
  };
  auto root = openFolder(filesRoot, "the device's file folder");
  if (!root) return Unexpected{root.error()};
  UniqueFd card;
  if (!cardRoot.empty()) {
    auto opened = openFolder(cardRoot, "the storage card folder");
    if (!opened) return Unexpected{opened.error()};
    card = std::move(*opened);
  }
  // Without openat2 the device could not be kept inside its folder: refuse to start.
  if (auto probe = OpenConfined(root->Get(), "", O_PATH); !probe) {
    return Unexpected{"cannot confine lookups to " + filesRoot + " (openat2: " +
                      std::strerror(probe.error()) + "; Linux 5.6 or later is needed)"};
  }
  return std::unique_ptr<HostFileSystem>(
      new HostFileSystem(root->Release(), card.Release()));
}

HostFileSystem::HostFileSystem(int rootFd, int cardFd)
    : rootFd_(rootFd), cardFd_(cardFd), index_(std::make_unique<HostFolderIndex>()) {}

HostFileSystem::~HostFileSystem() {
  close(rootFd_);
  if (cardFd_ >= 0) close(cardFd_);
}

Expected<uint32_t, Result> HostFileSystem::GetAttributes(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(), O_PATH);
  if (!fd) return Unexpected{fd.error()};
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kName)};
  return AttributesOf(st);
}

Expected<std::string, Result> HostFileSystem::ReadFile(std::u16string_view path,
                                                       uint64_t maxBytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  // O_NONBLOCK: a pipe planted in the device must not hang the program at open.
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(),
                               O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd) return Unexpected{fd.error()};
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kRead)};
  if (!S_ISREG(st.st_mode)) return Unexpected{kErrorAccessDenied};
  try {
    return ReadUpTo(fd->Get(), static_cast<uint64_t>(st.st_size), maxBytes);
  } catch (const std::exception&) {  // a file larger than memory
    return Unexpected{kErrorNotEnoughMemory};
  }
}

Result HostFileSystem::WriteFile(std::u16string_view path, std::string_view bytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAccessDenied;  // the root folder itself
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  // Opened without O_TRUNC: a read-only file must be refused before it loses anything.
  auto fd = resolver.OpenForWriting(parsed->names, O_WRONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd) return fd.error();
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return ResultFromErrno(errno, Stage::kWrite);
  // The program runs as root, which ignores permission bits: read-only is enforced here.
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return kErrorAccessDenied;
  if (st.st_size != 0 && ftruncate(fd->Get(), 0) != 0)
    return ResultFromErrno(errno, Stage::kWrite);
  return WriteAll(fd->Get(), bytes);
}

Result HostFileSystem::CreateFolder(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAlreadyExists;  // the root or the card itself
  return Resolver(parsed->onCard ? cardFd_ : rootFd_, *index_).MakeFolder(parsed->names);
}

Result HostFileSystem::DeleteFile(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAccessDenied;  // the root or the card itself
  return Resolver(parsed->onCard ? cardFd_ : rootFd_, *index_).Remove(parsed->names, false);
}

Result HostFileSystem::RemoveFolder(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAccessDenied;
  return Resolver(parsed->onCard ? cardFd_ : rootFd_, *index_).Remove(parsed->names, true);
}

}  // namespace varnisk::platform
