#include "unrar/entry_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::unrar {
namespace {

// Bounds the listings kept for an archive that fills many folders.
constexpr size_t kMaxListings = 64;
constexpr size_t kMaxNameBytes = 255;

// Opens name in the open folder without leaving it: no "..", no absolute or escaping
// symbolic link, no magic link of /proc.
int OpenBeneath(int folder, const std::string& name, uint64_t flags, mode_t mode = 0) {
  open_how how{};
  how.flags = flags | O_CLOEXEC;
  how.mode = mode;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (;;) {
    const long fd = syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) return static_cast<int>(fd);  // EAGAIN: a rename raced
  }
}

std::u16string Key(std::string_view name) {
  std::u16string key = platform::Utf8ToUtf16(name);
  for (char16_t& c : key) c = platform::UpperCase(c);
  return key;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string DeviceName(std::string_view name) {
  std::string out = platform::Utf16ToUtf8(platform::Utf8ToUtf16(name));
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  return out;
}

}  // namespace

Fd::~Fd() {
  if (fd_ >= 0) close(fd_);
}

std::vector<std::string> EntryNames(std::string_view storedPath) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= storedPath.size()) {
    size_t end = storedPath.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = storedPath.size();
    const std::string_view name = storedPath.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(DeviceName(name));
    }
    start = end + 1;
  }
  return names;
}

int EntryWriter::MakeFolders(const std::vector<std::string>& names) {
  Fd folder;
  return OpenFolder(names, names.size(), folder);
}

int EntryWriter::CreateFile(const std::vector<std::string>& names, OpenedEntry& opened) {
  if (names.empty()) return EISDIR;  // the destination itself
  if (int error = OpenFolder(names, names.size() - 1, opened.folder)) return error;
  const std::string& asked = names.back();
  if (asked.size() > kMaxNameBytes) return ENAMETOOLONG;
  std::string stored = Find(opened.folder.Get(), asked);
  const bool isNew = stored.empty();
  if (isNew) stored = asked;
  const int fd = OpenBeneath(opened.folder.Get(), stored,
                             O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) return errno;
  opened.file = Fd(fd);
  opened.name = stored;
  struct stat st;
  if (fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EISDIR;
  // Checked here, since the program runs as root, which write permission does not stop.
  if ((st.st_mode & 0222) == 0) return EACCES;
  if (st.st_size != 0 && ftruncate(fd, 0) != 0) return errno;
  if (isNew) Created(opened.folder.Get(), stored);
  return 0;
}

int EntryWriter::OpenFolder(const std::vector<std::string>& names, size_t count, Fd& folder) {
  folder = Fd(OpenBeneath(root_, ".", O_RDONLY | O_DIRECTORY));
  if (!folder.ok()) return errno;
  for (size_t i = 0; i < count; ++i) {
    if (names[i].size() > kMaxNameBytes) return ENAMETOOLONG;
    std::string stored = Find(folder.Get(), names[i]);
    if (stored.empty()) {
      stored = names[i];
      if (mkdirat(folder.Get(), stored.c_str(), 0777) == 0) {
        Created(folder.Get(), stored);
      } else if (errno != EEXIST) {
        return errno;
      }
    }
    Fd inner(OpenBeneath(folder.Get(), stored, O_RDONLY | O_DIRECTORY));
    if (!inner.ok()) return errno;
    folder = std::move(inner);
  }
  return 0;
}

std::string EntryWriter::Find(int folder, const std::string& name) {
  struct stat st;
  if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
  Listing* listing = ListingOf(folder);
  if (listing == nullptr) return {};
  const auto found = listing->names.find(Key(name));
  return found == listing->names.end() ? std::string() : found->second;
}

void EntryWriter::Created(int folder, const std::string& name) {
  struct stat st;
  if (fstat(folder, &st) != 0) return;
  // The listing stays current without a new read: the name is added and the folder's
  // new change time taken as the one it was read at.
  const auto known = listings_.find({st.st_dev, st.st_ino});
  if (known == listings_.end()) return;
  known->second.names.emplace(Key(name), name);
  known->second.changed = st.st_ctim;
}

EntryWriter::Listing* EntryWriter::ListingOf(int folder) {
  struct stat st;
  if (fstat(folder, &st) != 0) return nullptr;
  const auto known = listings_.find({st.st_dev, st.st_ino});
  if (known != listings_.end() && SameTime(known->second.changed, st.st_ctim)) return &known->second;
  if (listings_.size() >= kMaxListings) listings_.clear();
  Listing listing;
  listing.changed = st.st_ctim;
  const int copy = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return nullptr;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    close(copy);
    return nullptr;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view stored = entry->d_name;
    if (stored != "." && stored != "..") listing.names.emplace(Key(stored), stored);
  }
  closedir(dir);
  return &(listings_[{st.st_dev, st.st_ino}] = std::move(listing));
}

}  // namespace varnisk::unrar
