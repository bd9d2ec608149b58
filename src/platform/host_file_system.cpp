#include "platform/host_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/device_path.h"
#include "platform/host_memory.h"
#include "platform/host_resolver.h"
#include "platform/name_pattern.h"
#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

constexpr std::u16string_view kCardFolder = u"Storage Card";

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

// Reads into data until size bytes arrived, the file ends or a read fails; returns the
// count, so that a read failing part way yields what came before it.
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

// Copies size bytes from the current offset of from to that of to: in the kernel where it
// can (copy_file_range), else through a buffer. A file that grows meanwhile is copied as
// it was when the copy began; one that shrinks, as far as it goes.
Result CopyBytes(int from, int to, uint64_t size) {
  uint64_t done = 0;
  while (done < size) {
    const ssize_t n = copy_file_range(from, nullptr, to, nullptr, size - done, 0);
    if (n > 0) {
      done += static_cast<uint64_t>(n);
    } else if (n == 0) {
      return kSuccess;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
      break;  // a pair of file systems (or a kernel) that cannot copy in the kernel
    } else {
      return ResultFromErrno(errno, Stage::kWrite);
    }
  }
  if (done == size) return kSuccess;
  std::vector<char> buffer(256 * 1024);
  while (done < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
    const ssize_t n = read(from, buffer.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ResultFromErrno(errno, Stage::kRead);
    if (n == 0) return kSuccess;
    if (Result written = WriteAll(to, {buffer.data(), static_cast<size_t>(n)})) return written;
    done += static_cast<uint64_t>(n);
  }
  return kSuccess;
}

// Opens the existing regular file the names denote for reading and gives its status in st;
// anything else (a folder, a pipe, a device) is kErrorAccessDenied.
Expected<UniqueFd, Result> OpenRegularFile(const Resolver& resolver,
                                           const std::vector<std::u16string>& names,
                                           struct stat& st) {
  // O_NONBLOCK: a pipe planted in the device must not hang the program at open.
  auto fd = resolver.OpenEntry(names, names.size(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd) return Unexpected{fd.error()};
  if (fstat(fd->Get(), &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kRead)};
  if (!S_ISREG(st.st_mode)) return Unexpected{kErrorAccessDenied};
  return std::move(*fd);
}

// Sets or clears every write permission bit of the open entry and keeps its other bits;
// nothing changes when the entry already is (or is not) read-only.
Result SetReadOnlyBits(int fd, bool readOnly) {
  struct stat st;
  if (fstat(fd, &st) != 0) return ResultFromErrno(errno, Stage::kName);
  if (((st.st_mode & 0222) == 0) == readOnly) return kSuccess;
  const mode_t mode = readOnly ? st.st_mode & 07555 : (st.st_mode & 07777) | 0222;
  if (fchmod(fd, mode) == 0) return kSuccess;
  if (errno != EBADF) return ResultFromErrno(errno, Stage::kWrite);
  // A descriptor opened only to name the entry (O_PATH) is changed through its magic link,
  // which leads to that very inode and never through a path again.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (chmod(self.c_str(), mode) != 0) return ResultFromErrno(errno, Stage::kWrite);
  return kSuccess;
}

// Opens the file the names denote for writing, as the device allows it: created with mode
// when missing; refused when it is the root, a folder, a pipe or read-only, or the file
// whose status is source (a copy onto itself would empty it before reading it). An
// existing file is emptied when truncate is set, after those checks.
Expected<UniqueFd, Result> OpenWritable(const Resolver& resolver,
                                        const std::vector<std::u16string>& names,
                                        uint64_t flags, mode_t mode, bool truncate,
                                        const struct stat* source = nullptr) {
  if (names.empty()) return Unexpected{kErrorAccessDenied};  // the root folder itself
  // Opened without O_TRUNC: a read-only file must be refused before it loses anything.
  auto opened = resolver.OpenForWriting(names, flags | O_NONBLOCK | O_NOCTTY, mode);
  if (!opened) return Unexpected{opened.error()};
  if (opened->created) return std::move(opened->fd);
  const int fd = opened->fd.Get();
  struct stat st;
  if (fstat(fd, &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kWrite)};
  // The program runs as root, which ignores permission bits: read-only is enforced here.
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return Unexpected{kErrorAccessDenied};
  if (source != nullptr && st.st_dev == source->st_dev && st.st_ino == source->st_ino) {
    return Unexpected{kErrorAccessDenied};
  }
  if (truncate && st.st_size != 0 && ftruncate(fd, 0) != 0) {
    return Unexpected{ResultFromErrno(errno, Stage::kWrite)};
  }
  return std::move(opened->fd);
}

// Removes the entry name of the open folder and, when it is a folder (never a link to
// one), everything in it first. Each step acts on one name in a folder opened without
// following links, so nothing outside the tree is reached. Read-only entries go too, as
// the device shell deletes them. type is the entry's kind as its folder reported it.
Result RemoveTree(int folder, const std::string& name, unsigned char type,
                  HostFolderIndex& index) {
  if (type != DT_DIR) {
    if (unlinkat(folder, name.c_str(), 0) == 0) return kSuccess;
    if (errno != EISDIR) return ResultFromErrno(errno, Stage::kName);
  }
  const int opened = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (opened < 0) {
    // Replaced by a link or a file since the folder was read.
    if ((errno == ELOOP || errno == ENOTDIR) && unlinkat(folder, name.c_str(), 0) == 0) {
      return kSuccess;
    }
    return ResultFromErrno(errno, Stage::kName);
  }
  const UniqueFd inner(opened);
  auto entries = ReadFolder(inner.Get());
  if (!entries) return entries.error();
  Result result = kSuccess;
  for (const FolderEntry& entry : *entries) {
    const Result removed = RemoveTree(inner.Get(), entry.name, entry.type, index);
    if (result == kSuccess) result = removed;
  }
  // Its inode may soon name a new folder, which must not inherit its listing.
  index.Forget(inner.Get());
  if (result != kSuccess) return result;
  if (unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) {
    return ResultFromErrno(errno, Stage::kName);
  }
  return kSuccess;
}

// True for the host entry that the card hides: in the device's root, "\Storage Card" is
// the card.
bool HiddenByCard(bool hasCard, const DevicePath& folder, std::u16string_view name) {
  return hasCard && !folder.onCard && folder.names.empty() && EqualsNoCase(name, kCardFolder);
}

// An entry of a host folder with its name as the device sees it.
struct Match {
  FolderEntry entry;
  std::u16string name;
};

// The entries of the folder that a search or a wildcard deletion names whose names match
// pattern, the folder itself left open in opened. A missing folder is kErrorPathNotFound.
Expected<std::vector<Match>, Result> MatchingEntries(const Resolver& resolver,
                                                     const DevicePath& folder, bool hasCard,
                                                     std::u16string_view pattern,
                                                     UniqueFd& opened) {
  auto fd = resolver.OpenEntry(folder.names, folder.names.size(), O_RDONLY | O_DIRECTORY);
  if (!fd) return Unexpected{fd.error() == kErrorFileNotFound ? kErrorPathNotFound : fd.error()};
  auto entries = ReadFolder(fd->Get());
  if (!entries) return Unexpected{entries.error()};
  std::vector<Match> matches;
  for (FolderEntry& entry : *entries) {
    std::u16string name = Utf8ToUtf16(entry.name);
    if (MatchesNamePattern(name, pattern) && !HiddenByCard(hasCard, folder, name)) {
      matches.push_back({std::move(entry), std::move(name)});
    }
  }
  opened = std::move(*fd);
  return matches;
}

// The gzip reader of the host: zlib's own, which also passes data without the gzip
// signature through unchanged.
class HostGzipReader final : public GzipReader {
 public:
  explicit HostGzipReader(gzFile file) : file_(file) {}
  ~HostGzipReader() override { gzclose(file_); }
  HostGzipReader(const HostGzipReader&) = delete;
  HostGzipReader& operator=(const HostGzipReader&) = delete;

  Expected<size_t, Result> Read(char* buffer, size_t size) override {
    const int n = gzread(file_, buffer, static_cast<unsigned>(std::min<size_t>(size, INT_MAX)));
    if (n < 0) return Unexpected{kErrorReadFault};
    return static_cast<size_t>(n);
  }

 private:
  gzFile file_;
};

// Whether target is the status of folder itself or of a folder above it, up to base (the
// device's root folder or the card's): a link leading there would make every walk through
// it endless, and the device has no such folders.
bool IsFolderOrAbove(int folder, int base, const struct stat& target) {
  struct stat top;
  if (fstat(base, &top) != 0) return true;
  // A path of the device holds at most 259 units, so fewer folders than this lie above.
  constexpr int kMaxLevels = 260;
  UniqueFd current(fcntl(folder, F_DUPFD_CLOEXEC, 0));
  for (int level = 0; level < kMaxLevels && current.Get() >= 0; ++level) {
    struct stat st;
    if (fstat(current.Get(), &st) != 0) return true;
    if (st.st_dev == target.st_dev && st.st_ino == target.st_ino) return true;
    if (st.st_dev == top.st_dev && st.st_ino == top.st_ino) return false;
    current = UniqueFd(openat(current.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return false;
}

}  // namespace

// The output buffer of file writers, kept from one file to the next: a tree of small
// files then costs neither an allocation nor fresh pages per file.
class WriteBufferPool {
 public:
  static constexpr size_t kSize = 128 * 1024;

  std::unique_ptr<char[]> Take() {
    if (spare_) return std::move(spare_);
    return std::make_unique_for_overwrite<char[]>(kSize);
  }
  void Give(std::unique_ptr<char[]> buffer) { spare_ = std::move(buffer); }

 private:
  std::unique_ptr<char[]> spare_;
};

namespace {

// Gathers the pieces of one file into writes of up to WriteBufferPool::kSize bytes, so
// that a small file costs one write and a large one few.
class HostFileWriter final : public FileWriter {
 public:
  HostFileWriter(UniqueFd fd, WriteBufferPool& pool)
      : fd_(std::move(fd)), pool_(pool), buffer_(pool.Take()) {}
  ~HostFileWriter() override { Close(); }
  HostFileWriter(const HostFileWriter&) = delete;
  HostFileWriter& operator=(const HostFileWriter&) = delete;

  Result Write(std::string_view bytes) override {
    if (failed_ != kSuccess || fd_.Get() < 0) return failed_ ? failed_ : kErrorInvalidHandle;
    if (held_ + bytes.size() > WriteBufferPool::kSize && Flush() != kSuccess) return failed_;
    if (bytes.size() >= WriteBufferPool::kSize) return Note(WriteAll(fd_.Get(), bytes));
    std::memcpy(buffer_.get() + held_, bytes.data(), bytes.size());
    held_ += bytes.size();
    return kSuccess;
  }

  Result Close() override {
    if (fd_.Get() < 0) return failed_;
    Flush();
    if (close(fd_.Release()) != 0) Note(ResultFromErrno(errno, Stage::kWrite));
    pool_.Give(std::move(buffer_));
    return failed_;
  }

 private:
  Result Flush() {
    const size_t held = std::exchange(held_, 0);
    if (held == 0 || failed_ != kSuccess) return failed_;
    return Note(WriteAll(fd_.Get(), {buffer_.get(), held}));
  }
  // Keeps the first failure: once a piece is lost the file is not what was written.
  Result Note(Result result) {
    if (failed_ == kSuccess) failed_ = result;
    return result;
  }

  UniqueFd fd_;
  WriteBufferPool& pool_;
  std::unique_ptr<char[]> buffer_;
  size_t held_ = 0;
  Result failed_ = kSuccess;
};

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
    : rootFd_(rootFd),
      cardFd_(cardFd),
      index_(std::make_unique<HostFolderIndex>()),
      writeBuffers_(std::make_unique<WriteBufferPool>()) {}

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

Expected<UniqueFd, Result> HostFileSystem::OpenFile(std::u16string_view path,
                                                    struct stat& st) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  return OpenRegularFile(resolver, parsed->names, st);
}

Expected<std::string, Result> HostFileSystem::ReadFile(std::u16string_view path,
                                                       uint64_t maxBytes) {
  struct stat st;
  auto fd = OpenFile(path, st);
  if (!fd) return Unexpected{fd.error()};
  try {
    return ReadUpTo(fd->Get(), static_cast<uint64_t>(st.st_size), maxBytes);
  } catch (const std::exception&) {  // a file larger than memory
    return Unexpected{kErrorNotEnoughMemory};
  }
}

Result HostFileSystem::WriteFile(std::u16string_view path, std::string_view bytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = OpenWritable(resolver, parsed->names, O_WRONLY, 0666, true);
  if (!fd) return fd.error();
  return WriteAll(fd->Get(), bytes);
}

Result HostFileSystem::AppendFile(std::u16string_view path, std::string_view bytes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = OpenWritable(resolver, parsed->names, O_WRONLY | O_APPEND, 0666, false);
  if (!fd) return fd.error();
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

Expected<std::vector<FindEntry>, Result> HostFileSystem::FindFiles(
    std::u16string_view folder, std::u16string_view pattern) {
  auto parsed = ParseDevicePath(folder, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  UniqueFd fd;
  auto matches = MatchingEntries(resolver, *parsed, cardFd_ >= 0, pattern, fd);
  if (!matches) return Unexpected{matches.error()};
  std::vector<FindEntry> entries;
  for (Match& match : *matches) {
    struct stat st;
    if (fstatat(fd.Get(), match.entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      // Shown as what it leads to inside the device; a link leading nowhere, or back to
      // this folder or one above it, as a file.
      std::vector<std::u16string> link = parsed->names;
      link.push_back(match.name);
      auto target = resolver.OpenEntry(link, link.size(), O_PATH);
      if (!target || fstat(target->Get(), &st) != 0 ||
          (S_ISDIR(st.st_mode) && IsFolderOrAbove(fd.Get(), resolver.Base(), st))) {
        st.st_mode = S_IFREG | 0666;
      }
    }
    entries.push_back({std::move(match.name), AttributesOf(st)});
  }
  struct stat card;
  if (HiddenByCard(cardFd_ >= 0, *parsed, kCardFolder) &&
      MatchesNamePattern(kCardFolder, pattern) && fstat(cardFd_, &card) == 0) {
    entries.push_back({std::u16string(kCardFolder), AttributesOf(card)});
  }
  if (entries.empty()) return Unexpected{kErrorFileNotFound};
  SortByName(entries);
  return entries;
}

Result HostFileSystem::CopyFile(std::u16string_view source, std::u16string_view destination) {
  auto from = ParseDevicePath(source, cardFd_ >= 0);
  if (!from) return from.error();
  auto to = ParseDevicePath(destination, cardFd_ >= 0);
  if (!to) return to.error();
  const Resolver reader(from->onCard ? cardFd_ : rootFd_, *index_);
  auto in = reader.OpenEntry(from->names, from->names.size(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!in) return in.error();
  struct stat st;
  if (fstat(in->Get(), &st) != 0) return ResultFromErrno(errno, Stage::kRead);
  if (!S_ISREG(st.st_mode)) return kErrorAccessDenied;
  // A new copy gets the source's permission bits: its run bit, and read-only as the
  // device's copy keeps that attribute.
  const Resolver writer(to->onCard ? cardFd_ : rootFd_, *index_);
  auto out = OpenWritable(writer, to->names, O_WRONLY, st.st_mode & 0777, true, &st);
  if (!out) return out.error();
  if (Result copied = CopyBytes(in->Get(), out->Get(), static_cast<uint64_t>(st.st_size))) {
    return copied;
  }
  if ((st.st_mode & 0222) == 0) return SetReadOnlyBits(out->Get(), true);
  return kSuccess;
}

// A batch of copies from one folder into another, taken apart once: each copy then
// needs only calls on one name in an open folder, which several threads can make at once.
struct CopyBatch {
  UniqueFd from;
  UniqueFd to;
  struct Item {
    std::string source;       // the name in from, as the device named it
    std::string destination;  // a name free in to in every case
    bool copied = false;      // done here; otherwise CopyFile does it
    Result result = kSuccess;
  };
  std::vector<Item> items;
};

namespace {

// Below this many files a batch is not worth a thread.
constexpr size_t kParallelCopyMinimum = 8;

std::u16string CaseKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) c = UpperCase(c);
  return key;
}

// The folder named before the last name of path, as the words that name it.
std::span<const std::u16string> FolderOf(const DevicePath& path) {
  return std::span(path.names).first(path.names.size() - 1);
}

bool SameFolder(const DevicePath& a, const DevicePath& b) {
  return a.onCard == b.onCard && std::ranges::equal(FolderOf(a), FolderOf(b));
}

// Copies one file of a batch when it is plain: a regular source file, not a link, onto a
// name that nothing holds yet. Anything else is left to CopyFile (copied stays false).
void CopyOne(int from, int to, CopyBatch::Item& item) {
  const UniqueFd in(openat(from, item.source.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st;
  if (in.Get() < 0 || fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const UniqueFd out(openat(to, item.destination.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                O_CLOEXEC,
                            st.st_mode & 0777));
  if (out.Get() < 0) return;
  item.copied = true;
  item.result = CopyBytes(in.Get(), out.Get(), static_cast<uint64_t>(st.st_size));
  if (item.result == kSuccess && (st.st_mode & 0222) == 0) {
    item.result = SetReadOnlyBits(out.Get(), true);
  }
}

}  // namespace

// Takes apart the copies that can go at once: those from the folder of the first copy's
// source into that of its destination, onto names that are new in every case and differ
// from each other. False when there are too few to be worth it.
bool HostFileSystem::PrepareBatch(std::span<const FileCopy> copies, CopyBatch& batch) {
  if (copies.size() < kParallelCopyMinimum) return false;
  auto source = ParseDevicePath(copies.front().source, cardFd_ >= 0);
  auto destination = ParseDevicePath(copies.front().destination, cardFd_ >= 0);
  if (!source || !destination || source->names.empty() || destination->names.empty()) {
    return false;
  }
  const Resolver reader(source->onCard ? cardFd_ : rootFd_, *index_);
  const Resolver writer(destination->onCard ? cardFd_ : rootFd_, *index_);
  auto from = reader.OpenEntry(source->names, source->names.size() - 1, O_RDONLY | O_DIRECTORY);
  auto to = writer.OpenEntry(destination->names, destination->names.size() - 1,
                             O_RDONLY | O_DIRECTORY);
  if (!from || !to) return false;
  batch.from = std::move(*from);
  batch.to = std::move(*to);
  std::unordered_set<std::u16string> taken;
  for (const FileCopy& copy : copies) {
    CopyBatch::Item& item = batch.items.emplace_back();
    const auto in = ParseDevicePath(copy.source, cardFd_ >= 0);
    const auto out = ParseDevicePath(copy.destination, cardFd_ >= 0);
    if (!out || out->names.empty()) continue;
    // A second copy onto a name goes one by one, after the first, whichever way that goes.
    const std::u16string& name = out->names.back();
    if (!taken.insert(CaseKey(name)).second) continue;
    if (!in || in->names.empty() || !SameFolder(*in, *source) || !SameFolder(*out, *destination)) {
      continue;
    }
    // Names held in some case go one by one too.
    auto found = index_->Find(batch.to.Get(), name);
    if (!found || found->has_value()) continue;
    item.source = Utf16ToUtf8(in->names.back());
    item.destination = Utf16ToUtf8(name);
  }
  return true;
}

std::vector<Result> HostFileSystem::CopyFiles(std::span<const FileCopy> copies) {
  CopyBatch batch;
  const bool prepared = PrepareBatch(copies, batch);
  if (prepared) {
    std::atomic<size_t> next = 0;
    auto work = [&] {
      for (size_t i; (i = next.fetch_add(1)) < batch.items.size();) {
        CopyBatch::Item& item = batch.items[i];
        if (!item.destination.empty()) CopyOne(batch.from.Get(), batch.to.Get(), item);
      }
    };
    // Two at once: one creates a file while the other fills the last one; more only
    // queue for the folder's lock.
    std::optional<std::jthread> helper;
    try {
      helper.emplace(work);
    } catch (const std::exception&) {
      // No thread to be had: this one does it all.
    }
    work();
    helper.reset();
    index_->Forget(batch.to.Get());
  }
  std::vector<Result> results;
  results.reserve(copies.size());
  for (size_t i = 0; i < copies.size(); ++i) {
    const bool done = prepared && batch.items[i].copied;
    results.push_back(done ? batch.items[i].result
                           : CopyFile(copies[i].source, copies[i].destination));
  }
  return results;
}

Result HostFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  if (parsed->names.empty()) return kErrorAccessDenied;  // the root or the card itself
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(), O_PATH);
  if (!fd) return fd.error();
  return SetReadOnlyBits(fd->Get(), (attributes & kAttributeReadOnly) != 0);
}

Result HostFileSystem::DeleteTree(std::u16string_view path) {
  const auto wildcard = SplitWildcardPath(path);
  auto parsed = ParseDevicePath(wildcard ? wildcard->folder : path, cardFd_ >= 0);
  if (!parsed) return parsed.error();
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  index_->StopFilling();
  if (!wildcard) {
    if (parsed->names.empty()) return kErrorAccessDenied;  // the root or the card itself
    auto located = resolver.LocateLast(parsed->names);
    if (!located) return located.error();
    if (!located->exists) return kErrorFileNotFound;
    const Result result = RemoveTree(located->folderFd.Get(), located->name, DT_UNKNOWN, *index_);
    index_->Forget(located->folderFd.Get());
    return result;
  }
  UniqueFd folder;
  auto matches = MatchingEntries(resolver, *parsed, cardFd_ >= 0, wildcard->pattern, folder);
  if (!matches) return matches.error();
  if (matches->empty()) return kErrorFileNotFound;
  Result result = kSuccess;
  for (const Match& match : *matches) {
    const Result removed = RemoveTree(folder.Get(), match.entry.name, match.entry.type, *index_);
    if (result == kSuccess) result = removed;
  }
  index_->Forget(folder.Get());
  return result;
}

Expected<int, Result> HostFileSystem::OpenForExecute(std::u16string_view path) {
  return OpenReadable(path, true);
}

Expected<int, Result> HostFileSystem::OpenForRead(std::u16string_view path) {
  return OpenReadable(path, false);
}

Expected<int, Result> HostFileSystem::OpenReadable(std::u16string_view path, bool inherited) {
  struct stat st;
  auto fd = OpenFile(path, st);
  if (!fd) return Unexpected{fd.error()};
  // An ordinary blocking descriptor, inherited by a program the shell starts when asked.
  if (fcntl(fd->Get(), F_SETFD, inherited ? 0 : FD_CLOEXEC) != 0 ||
      fcntl(fd->Get(), F_SETFL, 0) != 0) {
    return Unexpected{ResultFromErrno(errno, Stage::kRead)};
  }
  return fd->Release();
}

Expected<int, Result> HostFileSystem::OpenForLending(std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = resolver.OpenEntry(parsed->names, parsed->names.size(), O_PATH);
  if (!fd) return Unexpected{fd.error()};
  struct stat st;
  if (fstat(fd->Get(), &st) != 0) return Unexpected{ResultFromErrno(errno, Stage::kName)};
  // A pipe reopened through its name would block whoever opens it.
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return Unexpected{kErrorAccessDenied};
  return fd->Release();
}

Expected<std::unique_ptr<GzipReader>, Result> HostFileSystem::OpenGzipReader(
    std::u16string_view path) {
  struct stat st;
  auto fd = OpenFile(path, st);
  if (!fd) return Unexpected{fd.error()};
  const gzFile file = gzdopen(fd->Get(), "rb");
  if (file == nullptr) return Unexpected{kErrorNotEnoughMemory};
  fd->Release();  // gzclose closes it
  // A larger input buffer than zlib's 8 KiB default inflates a quarter faster.
  gzbuffer(file, 64 * 1024);
  return std::unique_ptr<GzipReader>(std::make_unique<HostGzipReader>(file));
}

Expected<std::unique_ptr<FileWriter>, Result> HostFileSystem::CreateFileWriter(
    std::u16string_view path) {
  auto parsed = ParseDevicePath(path, cardFd_ >= 0);
  if (!parsed) return Unexpected{parsed.error()};
  const Resolver resolver(parsed->onCard ? cardFd_ : rootFd_, *index_);
  auto fd = OpenWritable(resolver, parsed->names, O_WRONLY, 0666, true);
  if (!fd) return Unexpected{fd.error()};
  return std::unique_ptr<FileWriter>(
      std::make_unique<HostFileWriter>(std::move(*fd), *writeBuffers_));
}

}  // namespace varnisk::platform
