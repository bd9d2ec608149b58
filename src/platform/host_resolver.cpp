#include "platform/host_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

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

Expected<UniqueFd, int> OpenConfined(int base, const std::string& path, uint64_t flags,
                                     uint64_t mode) {
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

std::string Join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty()) out += '/';
  out += name;
  return out;
}

std::string HostPath(const std::vector<std::u16string>& names, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += '/';
    out += Utf16ToUtf8(names[i]);
  }
  return out;
}

Expected<std::vector<FolderEntry>, Result> ReadFolder(int folder) {
  if (lseek(folder, 0, SEEK_SET) != 0) {
    return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
  }
  std::vector<FolderEntry> entries;
  alignas(dirent64) char buffer[32 * 1024];
  for (;;) {
    const ssize_t size = getdents64(folder, buffer, sizeof buffer);
    if (size < 0 && errno == EINTR) continue;
    if (size < 0) return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
    if (size == 0) return entries;
    for (ssize_t at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      entries.push_back({std::string(name), entry->d_type});
    }
  }
}

namespace {

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::u16string Key(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) c = UpperCase(c);
  return key;
}

}  // namespace

Expected<std::optional<std::string>, Result> HostFolderIndex::Find(int folder,
                                                                   std::u16string_view name) {
  struct stat st;
  if (fstat(folder, &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kFolder)};
  Listing* listing = Current(st);
  if (listing == nullptr) {
    // Checking the exact case first spares reading a folder nobody created names in.
    std::string exact = Utf16ToUtf8(name);
    struct stat entry;
    if (fstatat(folder, exact.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) return exact;
    if (errno != ENOENT) return Unexpected{ResultFromErrno(errno, Stage::kName)};
    auto read = Read(folder, st);
    if (!read) return Unexpected{read.error()};
    listing = *read;
  }
  const std::u16string key = Key(name);
  const auto it = listing->names.find(key);
  if (it == listing->names.end()) return std::optional<std::string>();
  // With twins the exact case answers; the listing keeps the first of them only.
  if (listing->twins) {
    std::string exact = Utf16ToUtf8(name);
    struct stat entry;
    if (fstatat(folder, exact.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) return exact;
  }
  return it->second;
}

bool HostFolderIndex::Created(int folder, const std::string& stored) {
  struct stat st;
  if (fstat(folder, &st) != 0) {
    listings_.clear();
    return false;
  }
  bool changed = true;
  for (Listing& listing : listings_) {
    if (listing.device == st.st_dev && listing.inode == st.st_ino) {
      changed = !SameTime(listing.changed, st.st_ctim);
      listing.names.emplace(Key(Utf8ToUtf16(stored)), stored);
      listing.changed = st.st_ctim;
    }
  }
  return changed;
}

void HostFolderIndex::CreatedFolder(int folder, const std::string& stored) {
  Created(folder, stored);
  struct stat st;
  if (fstatat(folder, stored.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    Forget(st.st_dev, st.st_ino);
    Keep(Listing{st.st_dev, st.st_ino, st.st_ctim, {}, false});
  }
}

void HostFolderIndex::Removed(int folder, const std::string& stored, const timespec& before) {
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

void HostFolderIndex::Forget(dev_t device, ino_t inode) {
  std::erase_if(listings_, [&](const Listing& listing) {
    return listing.device == device && listing.inode == inode;
  });
}

void HostFolderIndex::Forget(int folder) {
  struct stat st;
  if (fstat(folder, &st) != 0) {
    listings_.clear();
    return;
  }
  Forget(st.st_dev, st.st_ino);
}

// The listing of the folder, if nothing was added to or removed from it since: every
// such change sets the folder's change time, and this kernel gives a change that
// follows a stat a new fine-grained time.
auto HostFolderIndex::Current(const struct stat& st) -> Listing* {
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
auto HostFolderIndex::Read(int folder, const struct stat& st) -> Expected<Listing*, Result> {
  auto entries = ReadFolder(folder);
  if (!entries) return Unexpected{entries.error()};
  Listing listing{st.st_dev, st.st_ino, st.st_ctim, {}, false};
  for (FolderEntry& entry : *entries) {
    // The first match stays.
    if (!listing.names.emplace(Key(Utf8ToUtf16(entry.name)), std::move(entry.name)).second) {
      listing.twins = true;
    }
  }
  Forget(st.st_dev, st.st_ino);
  return Keep(std::move(listing));
}

auto HostFolderIndex::Keep(Listing listing) -> Listing* {
  if (listings_.size() == kMaxListings) listings_.erase(listings_.begin());
  listings_.push_back(std::move(listing));
  return &listings_.back();
}

Expected<UniqueFd, Result> Resolver::OpenEntry(const std::vector<std::u16string>& names,
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

Expected<Located, Result> Resolver::LocateLast(const std::vector<std::u16string>& names) const {
  Located out;
  out.folder = HostPath(names, names.size() - 1);
  auto folder = OpenConfined(base_, out.folder, O_RDONLY | O_DIRECTORY);
  if (!folder) {
    // A folder above in another case.
    if (folder.error() == ENOENT) return Locate(names);
    return Unexpected{ResultFromErrno(folder.error(), Stage::kFolder)};
  }
  auto found = index_.Find(folder->Get(), names.back());
  if (!found) return Unexpected{found.error()};
  out.folderFd = std::move(*folder);
  out.exists = found->has_value();
  out.name = out.exists ? std::move(**found) : Utf16ToUtf8(names.back());
  return out;
}

Expected<OpenedForWriting, Result> Resolver::OpenForWriting(
    const std::vector<std::u16string>& names, uint64_t flags, mode_t mode) const {
  if (auto created = CreateWhileFilling(names, flags, mode)) {
    return OpenedForWriting{std::move(*created), true};
  }
  // An existing file costs one call by its exact path.
  auto fd = OpenConfined(base_, HostPath(names, names.size()), flags);
  if (fd) return OpenedForWriting{std::move(*fd), false};
  if (fd.error() != ENOENT) return Unexpected{ResultFromErrno(fd.error(), Stage::kName)};
  auto located = LocateLast(names);
  if (!located) return Unexpected{located.error()};
  if (!located->exists) {
    // One name relative to a confined folder; O_NOFOLLOW refuses a link planted meanwhile,
    // and O_EXCL makes "created" true only for a file this call made.
    const int created =
        openat(located->folderFd.Get(), located->name.c_str(),
               static_cast<int>(flags) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (created >= 0) {
      index_.Created(located->folderFd.Get(), located->name);
      index_.Filling(base_, std::move(located->folder), std::move(located->folderFd));
      return OpenedForWriting{UniqueFd(created), true};
    }
    if (errno != EEXIST) return Unexpected{ResultFromErrno(errno, Stage::kWrite)};
  }
  // A dangling link is followed, so its target is created, still inside the base.
  fd = OpenConfined(base_, Join(located->folder, located->name), flags | O_CREAT, mode);
  if (!fd) return Unexpected{ResultFromErrno(fd.error(), Stage::kWrite)};
  return OpenedForWriting{std::move(*fd), false};
}

// A copy filling a folder creates name after name there. While the folder's listing is
// current, it answers whether a name is free in any case, and the file is created by its
// path in one call (confined, and only if the exact name is free); the folder's change
// time moving shows that the file landed in it. Three calls instead of a walk to the
// folder. nullopt when this is not such a name, or when the file landed elsewhere (a
// folder put in place of the one filled), whose creation is then undone.
std::optional<UniqueFd> Resolver::CreateWhileFilling(const std::vector<std::u16string>& names,
                                                     uint64_t flags, mode_t mode) const {
  std::string path = HostPath(names, names.size() - 1);
  const int folder = index_.FillingFolder(base_, path);
  if (folder < 0) return std::nullopt;
  auto taken = index_.Find(folder, names.back());
  if (!taken || taken->has_value()) return std::nullopt;
  const std::string name = Utf16ToUtf8(names.back());
  path = Join(path, name);
  auto created = OpenConfined(base_, path, flags | O_CREAT | O_EXCL, mode);
  if (!created) return std::nullopt;
  if (index_.Created(folder, name)) return std::move(*created);
  index_.Forget(folder);
  index_.StopFilling();
  Undo(names, created->Get());
  return std::nullopt;
}

// Removes the empty file just created at the names, as long as the name still holds it.
void Resolver::Undo(const std::vector<std::u16string>& names, int created) const {
  struct stat made, found;
  auto located = LocateLast(names);
  if (!located || !located->exists || fstat(created, &made) != 0 ||
      fstatat(located->folderFd.Get(), located->name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0 ||
      made.st_dev != found.st_dev || made.st_ino != found.st_ino) {
    return;
  }
  struct stat before;
  if (fstat(located->folderFd.Get(), &before) != 0) return;
  if (unlinkat(located->folderFd.Get(), located->name.c_str(), 0) == 0) {
    index_.Removed(located->folderFd.Get(), located->name, before.st_ctim);
  }
}

Result Resolver::MakeFolder(const std::vector<std::u16string>& names) const {
  auto located = LocateLast(names);
  if (!located) return located.error();
  if (located->exists) return kErrorAlreadyExists;
  // mkdirat never follows a link in the last name, and that name holds no "/".
  if (mkdirat(located->folderFd.Get(), located->name.c_str(), 0777) != 0) {
    return ResultFromErrno(errno, Stage::kName);
  }
  index_.CreatedFolder(located->folderFd.Get(), located->name);
  return kSuccess;
}

Result Resolver::Remove(const std::vector<std::u16string>& names, bool folder) const {
  index_.StopFilling();
  auto located = LocateLast(names);
  if (!located) return located.error();
  if (!located->exists) return kErrorFileNotFound;
  const int parent = located->folderFd.Get();
  const std::string& stored = located->name;
  struct stat entry, seen, before;
  if (fstatat(parent, stored.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
    return ResultFromErrno(errno, Stage::kName);
  }
  seen = entry;
  if (S_ISLNK(entry.st_mode)) {
    if (auto target = OpenConfined(base_, Join(located->folder, stored), O_PATH)) {
      fstat(target->Get(), &seen);
    }
  }
  // The program runs as root, which ignores permission bits: read-only is kept here.
  const bool readOnly = !S_ISLNK(seen.st_mode) && (seen.st_mode & 0222) == 0;
  // Removing a link shown as a folder would not remove the folder it shows.
  const bool refused = folder ? !S_ISDIR(seen.st_mode) || S_ISLNK(entry.st_mode)
                              : S_ISDIR(seen.st_mode);
  if (refused || readOnly) return kErrorAccessDenied;
  if (fstat(parent, &before) != 0) return ResultFromErrno(errno, Stage::kFolder);
  if (unlinkat(parent, stored.c_str(), folder ? AT_REMOVEDIR : 0) != 0) {
    // A folder that is not empty may also be reported as EEXIST.
    return folder && errno == EEXIST ? kErrorDirNotEmpty : ResultFromErrno(errno, Stage::kName);
  }
  index_.Removed(parent, stored, before.st_ctim);
  return kSuccess;
}

// Walks the folders one by one, each opened afresh from the base so that symbolic links
// on the way resolve exactly as in OpenConfined. Only taken after the exact case missed.
Expected<Located, Result> Resolver::Locate(const std::vector<std::u16string>& names) const {
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

}  // namespace varnisk::platform
