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
#include <utility>
#include <vector>

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

// Characters the device refuses in a name; control characters (NUL above all) would also
// cut or bend the host path.
bool IsValidName(std::u16string_view name) {
  for (char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  return true;
}

// device path: ["\" | "/"] name { ("\" | "/") name }; there is no current folder, so
// every path starts at the root.
std::expected<DevicePath, Result> ParseDevicePath(std::u16string_view path, bool hasCard) {
  DevicePath out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    if (name == u"..") {
      if (!out.names.empty()) out.names.pop_back();
    } else if (!name.empty() && name != u".") {
      if (!IsValidName(name)) return std::unexpected(kErrorInvalidName);
      out.names.emplace_back(name);
    }
    start = end + 1;
  }
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
std::expected<UniqueFd, int> OpenConfined(int base, const std::string& path, uint64_t flags,
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
    if ((errno != EAGAIN && errno != EINTR) || attempt == 8) return std::unexpected(errno);
  }
}

// The device's case table maps no other letter onto an ASCII one, so ASCII names compare
// without conversion: most names are ASCII and folders can be large.
bool AsciiEqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The stored name of the entry in folder that name denotes: the exact case when present,
// else the first entry equal without regard to case; nullopt when there is none.
std::expected<std::optional<std::string>, Result> FindInFolder(int folder,
                                                               std::u16string_view name) {
  const std::string wanted = Utf16ToUtf8(name);
  struct stat st;
  if (fstatat(folder, wanted.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return wanted;
  if (errno != ENOENT) return std::unexpected(ResultFromErrno(errno, Stage::kName));

  const int listFd = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (listFd < 0) return std::unexpected(ResultFromErrno(errno, Stage::kFolder));
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return std::unexpected(ResultFromErrno(errno, Stage::kFolder));
  }
  const bool ascii = IsAscii(wanted);
  std::optional<std::string> found;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view stored = entry->d_name;
    if (stored == "." || stored == "..") continue;
    const bool same = ascii ? AsciiEqualsNoCase(stored, wanted)
                            : EqualsNoCase(Utf8ToUtf16(stored), name);
    if (same) {
      found.emplace(stored);
      break;
    }
  }
  closedir(dir);
  return found;
}

// Where a device path leads when its case differs from the stored one.
struct Located {
  std::string folder;  // stored path of the folder holding the last name
  std::string name;    // stored last name, or the name as asked when nothing matches
  bool exists = false;
};

// Walks the folders one by one, each opened afresh from base so that symbolic links on
// the way resolve exactly as in OpenConfined. Only taken after the exact case missed.
std::expected<Located, Result> Locate(int base, const std::vector<std::u16string>& names) {
  Located out;
  for (size_t i = 0; i < names.size(); ++i) {
    auto folder = OpenConfined(base, out.folder, O_RDONLY | O_DIRECTORY);
    if (!folder) return std::unexpected(ResultFromErrno(folder.error(), Stage::kFolder));
    auto found = FindInFolder(folder->Get(), names[i]);
    if (!found) return std::unexpected(found.error());
    const bool last = i + 1 == names.size();
    if (!last) {
      if (!*found) return std::unexpected(kErrorPathNotFound);
      out.folder = Join(out.folder, **found);
    } else {
      out.exists = found->has_value();
      out.name = out.exists ? std::move(**found) : Utf16ToUtf8(names[i]);
    }
  }
  return out;
}

// Resolves device paths of one folder tree (the device root or the card) and opens what
// they name. The exact case costs one system call; another case walks the folders.
class Resolver {
 public:
  explicit Resolver(int base) : base_(base) {}

  // Opens the existing entry that the first count names denote.
  std::expected<UniqueFd, Result> OpenEntry(const std::vector<std::u16string>& names,
                                            size_t count, uint64_t flags) const {
    const Stage stage = count == names.size() ? Stage::kName : Stage::kFolder;
    auto fd = OpenConfined(base_, HostPath(names, count), flags);
    if (fd) return fd;
    if (fd.error() != ENOENT) return std::unexpected(ResultFromErrno(fd.error(), stage));
    auto located = Locate(base_, {names.begin(), names.begin() + count});
    if (!located) return std::unexpected(located.error());
    if (!located->exists) return std::unexpected(ResultFromErrno(ENOENT, stage));
    fd = OpenConfined(base_, Join(located->folder, located->name), flags);
    if (!fd) return std::unexpected(ResultFromErrno(fd.error(), stage));
    return fd;
  }

  // Opens the file the names denote for writing, creating it under the asked name when no
  // entry of that name exists in any case.
  std::expected<UniqueFd, Result> OpenForWriting(const std::vector<std::u16string>& names,
                                                 uint64_t flags) const {
    auto fd = OpenConfined(base_, HostPath(names, names.size()), flags);
    if (fd) return fd;
    if (fd.error() != ENOENT) return std::unexpected(ResultFromErrno(fd.error(), Stage::kName));
    auto located = Locate(base_, names);
    if (!located) return std::unexpected(located.error());
    // A dangling link is followed, so its target is created, still inside base.
    fd = OpenConfined(base_, Join(located->folder, located->name), flags | O_CREAT, 0666);
    if (!fd) return std::unexpected(ResultFromErrno(fd.error(), Stage::kWrite));
    return fd;
  }

 private:
  int base_;
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
std::string ReadUpTo(int fd, uint64_t sizeHint, uint64_t maxBytes) {
  constexpr uint64_t kChunk = 64 * 1024;
  std::string bytes;
  bytes.resize(std::min(maxBytes, sizeHint));
  size_t got = 0;
  while (got < maxBytes) {
    if (got == bytes.size()) bytes.resize(std::min<uint64_t>(maxBytes, got + kChunk));
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace

std::expected<std::unique_ptr<HostFileSystem>, std::string> HostFileSystem::Open(
    const std::string& filesRoot, const std::string& cardRoot) {
  auto openFolder = [](const std::string& path, const char* what)
      -> std::expected<UniqueFd, std::string> {
    const int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      return std::unexpected(std::string("cannot open ") + what + " " + path + ": " +
                             std::strerror(errno));
    }
    return UniqueFd(fd);
  };
  auto root = openFolder(filesRoot, "the device's file folder");
  if (!root) return std::unexpected(root.error());
  UniqueFd card;
  if (!cardRoot.empty()) {
    auto opened = openFolder(cardRoot, "the storage card folder");
    if (!opened) return std::unexpected(opened.error());
    card = std::move(*opened);
  }
  // Without openat2 the device could not be kept inside its folder: refuse to start.
  if (auto probe = OpenConfined(root->Get(), "", O_PATH); !probe) {
    return std::unexpected("cannot confine lookups to " + filesRoot + " (openat2: " +
                           std::strerror(probe.error()) + "; Linux 5.6 or later is needed)");
  }
  return std::unique_ptr<HostFileSystem>(new HostFileSystem(root->Release(), card.Release()));
}

HostFileSystem::HostFileSystem(int rootFd, int cardFd) : rootFd_(rootFd), cardFd_(cardFd) {}

HostFileSystem::~HostFileSystem() {
  close(rootFd_);
  if (cardFd_ >= 0) close(cardFd_);
}

std::expected<uint32_t, Result> HostFileSystem::GetAttributes(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return std::unexpected(parsed.error());
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_);
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(), O_PATH);
  if (!fd) return std::unexpected(fd.error());
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return std::unexpected(ResultFromErrno(errno, Stage::kName));
  return AttributesOf(st);
}

std::expected<std::string, Result> HostFileSystem::ReadFile(std::u16string_view path,
                                                            uint64_t maxBytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return std::unexpected(parsed.error());
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_);
  // O_NONBLOCK: a pipe planted in the device must not hang the program at open.
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(),
                               O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd) return std::unexpected(fd.error());
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return std::unexpected(ResultFromErrno(errno, Stage::kRead));
  if (!S_ISREG(st.st_mode)) return std::unexpected(kErrorAccessDenied);
  try {
    return ReadUpTo(fd->Get(), static_cast<uint64_t>(st.st_size), maxBytes);
  } catch (const std::exception&) {  // a file larger than memory
    return std::unexpected(kErrorNotEnoughMemory);
  }
}

Result HostFileSystem::WriteFile(std::u16string_view path, std::string_view bytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAccessDenied;  // the root folder itself
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_);
  // Opened without O_TRUNC: a read-only file must be refused before it loses anything.
  auto fd = resolver.OpenForWriting(parsed->names, O_WRONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd) return fd.error();
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return ResultFromErrno(errno, Stage::kWrite);
  // The program runs as root, which ignores permission bits: read-only is enforced here.
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return kErrorAccessDenied;
  if (ftruncate(fd->Get(), 0) != 0) return ResultFromErrno(errno, Stage::kWrite);
  return WriteAll(fd->Get(), bytes);
}

Result HostFileSystem::CreateFolder(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAlreadyExists;  // the root or the card itself
  const std::vector<std::u16string>& names = parsed->names;
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_);
  auto parent = resolver.OpenEntry(names, names.size() - 1, O_RDONLY | O_DIRECTORY);
  if (!parent) return parent.error();
  // The device keeps one entry per name whatever its case.
  auto taken = FindInFolder(parent->Get(), names.back());
  if (!taken) return taken.error();
  if (*taken) return kErrorAlreadyExists;
  // One name relative to a confined folder, and mkdirat never follows a link at the end.
  if (mkdirat(parent->Get(), Utf16ToUtf8(names.back()).c_str(), 0777) != 0) {
    return ResultFromErrno(errno, Stage::kName);
  }
  return kSuccess;
}

}  // namespace varnisk::platform
