// The UnRAR library of the device, on libarchive: the four published entry points that
// RARX drives. Entries are written by the library itself, below the destination it is
// given (never through libarchive's own disk writer); symbolic and hard links are not
// created; encrypted entries answer kMissingPassword, since no password is ever given.
// The work per archive is bounded: a malformed archive ends with a code, never with a
// decoder that goes on for ever.

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/utf.h"
#include "unrar/entry_writer.h"
#include "unrar/rar_layout.h"
#include "unrar/unrar.h"

namespace varnisk::unrar {
namespace {

constexpr size_t kBlockSize = 64 * 1024;
// Reads at the end of the file in a row after which the archive counts as damaged: a
// reader that keeps asking for more where there is none is going round in circles.
constexpr int kMaxIdleReads = 64;
// What an entry without a recorded size may produce before it counts as damaged.
constexpr uint64_t kMaxUnsizedEntry = uint64_t{1} << 36;

// Everything one open archive holds.
struct Archive {
  ~Archive() {
    if (reader != nullptr) archive_read_free(reader);
    if (utf8 != nullptr) freelocale(utf8);
  }

  Fd file;
  uint64_t size = 0;
  std::string name;
  unsigned mode = kOpenExtract;
  locale_t utf8 = nullptr;
  archive* reader = nullptr;
  RarLayout layout;
  archive_entry* entry = nullptr;  // owned by the reader
  bool pending = false;            // a header was read and its entry not yet processed
  size_t entryIndex = 0;
  size_t entriesRead = 0;
  int failed = 0;                  // once set, the code every later call answers
  bool readFailed = false;
  int idleReads = 0;
  std::string destinationName;     // the destination of the last extraction
  Fd destination;
  std::unique_ptr<EntryWriter> writer;
  std::vector<char> readBlock = std::vector<char>(kBlockSize);
  std::vector<char> dataBlock = std::vector<char>(kBlockSize);
};

// Makes the thread's locale UTF-8 while an entry point runs: libarchive converts names
// through the current locale, and in the "C" locale the Unicode names of RAR4 archives
// come back empty. Only this thread's locale changes, and only for the call.
class Utf8Locale {
 public:
  explicit Utf8Locale(locale_t utf8) : previous_(utf8 != nullptr ? uselocale(utf8) : nullptr) {}
  ~Utf8Locale() {
    if (previous_ != nullptr) uselocale(previous_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  locale_t previous_;
};

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  for (; *text != 0; ++text) {
    auto c = static_cast<char32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    varnisk::platform::AppendUtf8(out, c);
  }
  return out;
}

// Copies text into a fixed field, cut to fit with its terminator.
template <size_t N>
void CopyField(char (&field)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

la_ssize_t ReadArchive(archive* reader, void* data, const void** block) {
  Archive& a = *static_cast<Archive*>(data);
  ssize_t n;
  do {
    n = read(a.file.Get(), a.readBlock.data(), a.readBlock.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    a.readFailed = true;
    archive_set_error(reader, errno, "cannot read the archive");
    return -1;
  }
  if (n > 0) {
    a.idleReads = 0;
  } else if (++a.idleReads > kMaxIdleReads) {
    archive_set_error(reader, EILSEQ, "the archive is read past its end");
    return -1;
  }
  *block = a.readBlock.data();
  return n;
}

la_int64_t SkipArchive(archive*, void* data, la_int64_t request) {
  Archive& a = *static_cast<Archive*>(data);
  const off_t at = lseek(a.file.Get(), 0, SEEK_CUR);
  if (at < 0 || request <= 0) return 0;
  const auto room = static_cast<la_int64_t>(a.size) - at;
  const la_int64_t skip = std::clamp<la_int64_t>(room, 0, request);
  return lseek(a.file.Get(), skip, SEEK_CUR) < 0 ? 0 : skip;
}

size_t ReadAtOffset(int fd, uint64_t offset, void* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, static_cast<char*>(buffer) + got, size - got,
                            static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// The code for what stopped libarchive.
int FailureCode(const Archive& a) {
  if (a.layout.headersEncrypted) return kMissingPassword;
  if (archive_errno(a.reader) == ENOMEM) return kNoMemory;
  if (a.readFailed) return kReadFailed;
  return kBadData;
}

std::string_view EntryPath(archive_entry* entry) {
  const char* path = archive_entry_pathname_utf8(entry);
  if (path == nullptr) path = archive_entry_pathname(entry);
  return path != nullptr ? path : "";
}

// Whether the stored names are the same path, whichever separators they use.
bool SamePath(std::string_view a, std::string_view b) {
  auto trimmed = [](std::string_view s) {
    while (!s.empty() && (s.back() == '/' || s.back() == '\\')) s.remove_suffix(1);
    return s;
  };
  a = trimmed(a);
  b = trimmed(b);
  return std::ranges::equal(a, b, [](char x, char y) {
    return (x == '\\' ? '/' : x) == (y == '\\' ? '/' : y);
  });
}

bool Encrypted(const Archive& a) {
  if (archive_entry_is_encrypted(a.entry)) return true;
  const auto& files = a.layout.files;
  return a.entryIndex < files.size() && files[a.entryIndex].encrypted &&
         SamePath(files[a.entryIndex].name, EntryPath(a.entry));
}

int Failed(Archive& a, la_ssize_t status) {
  const int code = FailureCode(a);
  if (status == ARCHIVE_FATAL) a.failed = code;
  return code;
}

// Reads the entry's data to its end, writing it to out unless out is -1. The entry must
// produce exactly the size its header records.
int CopyData(Archive& a, int out) {
  const bool sized = archive_entry_size_is_set(a.entry) != 0;
  const uint64_t expected = sized ? static_cast<uint64_t>(archive_entry_size(a.entry)) : 0;
  uint64_t produced = 0;
  for (;;) {
    const la_ssize_t n = archive_read_data(a.reader, a.dataBlock.data(), a.dataBlock.size());
    if (n < 0) return Failed(a, n);
    if (n == 0) break;
    produced += static_cast<uint64_t>(n);
    if (produced > (sized ? expected : kMaxUnsizedEntry)) return kBadData;
    for (const char* p = a.dataBlock.data(); out >= 0 && p < a.dataBlock.data() + n;) {
      const ssize_t written = write(out, p, static_cast<size_t>(a.dataBlock.data() + n - p));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return kWriteFailed;
      p += written;
    }
  }
  return sized && produced != expected ? kBadData : 0;
}

// The writer for the destination folder at path (the current folder when empty), kept
// while later entries go to the same destination.
EntryWriter* WriterFor(Archive& a, const std::string& path) {
  if (a.writer != nullptr && a.destinationName == path) return a.writer.get();
  a.writer.reset();
  a.destination = Fd(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!a.destination.ok()) return nullptr;
  a.destinationName = path;
  a.writer = std::make_unique<EntryWriter>(a.destination.Get());
  return a.writer.get();
}

int ExtractEntry(Archive& a, const wchar_t* destPath, const wchar_t* destName) {
  const mode_t type = archive_entry_filetype(a.entry);
  // Links are not made: a link would let a later entry of the archive write through it.
  if (archive_entry_hardlink(a.entry) != nullptr || type == AE_IFLNK) return 0;
  if (type != AE_IFDIR && type != AE_IFREG) return 0;  // devices, pipes, unknown kinds
  std::string folder = destPath != nullptr ? WideToUtf8(destPath) : "";
  std::vector<std::string> names = EntryNames(EntryPath(a.entry));
  if (destName != nullptr) {
    // The caller names the output itself: its folder is the destination.
    const std::string path = WideToUtf8(destName);
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
    names = EntryNames(slash == std::string::npos ? path : path.substr(slash + 1));
  }
  EntryWriter* writer = WriterFor(a, folder);
  if (writer == nullptr) return kCreateFailed;
  if (type == AE_IFDIR) return writer->MakeFolders(names) == 0 ? 0 : kCreateFailed;
  OpenedEntry out;
  if (writer->CreateFile(names, out) != 0) return kCreateFailed;
  const int code = CopyData(a, out.file.Get());
  // A file that did not receive all its data would look complete: it goes again.
  if (code != 0) unlinkat(out.folder.Get(), out.name.c_str(), 0);
  return code;
}

void* OpenArchive(OpenArchiveDataEx* data) {
  data->OpenResult = 0;
  data->CmtSize = 0;
  data->CmtState = 0;
  if (data->CmtBuf != nullptr && data->CmtBufSize > 0) data->CmtBuf[0] = 0;
  auto a = std::make_unique<Archive>();
  a->name = data->ArcNameW != nullptr ? WideToUtf8(data->ArcNameW)
                                      : data->ArcName != nullptr ? data->ArcName : "";
  a->mode = data->OpenMode;
  a->file = Fd(open(a->name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st;
  if (!a->file.ok() || fstat(a->file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    data->OpenResult = kOpenFailed;
    return nullptr;
  }
  a->size = static_cast<uint64_t>(st.st_size);
  a->utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
  const Utf8Locale locale(a->utf8);
  const int fd = a->file.Get();
  a->layout = ScanRarLayout(
      [fd](uint64_t offset, void* buffer, size_t size) {
        return ReadAtOffset(fd, offset, buffer, size);
      },
      a->size);
  a->reader = archive_read_new();
  if (a->reader == nullptr) {
    data->OpenResult = kNoMemory;
    return nullptr;
  }
  archive_read_support_format_rar(a->reader);
  archive_read_support_format_rar5(a->reader);
  archive_read_set_read_callback(a->reader, ReadArchive);
  archive_read_set_skip_callback(a->reader, SkipArchive);
  archive_read_set_callback_data(a->reader, a.get());
  if (archive_read_open1(a->reader) != ARCHIVE_OK) {
    const int code = FailureCode(*a);
    data->OpenResult = code == kBadData ? kBadArchive : code;
    return nullptr;
  }
  return a.release();
}

int ReadHeader(Archive& a, HeaderData* header) {
  if (a.failed != 0) return a.failed;
  a.pending = false;
  const int status = archive_read_next_header(a.reader, &a.entry);
  if (status == ARCHIVE_EOF) return a.failed = a.layout.Complete() ? kEndArchive : kBadData;
  // Every failure ends the archive here: a reader asked again after a failed header may
  // answer the same failure for ever.
  if (status < ARCHIVE_WARN) return a.failed = FailureCode(a);
  const std::string_view path = EntryPath(a.entry);
  if (path.empty()) return a.failed = kBadData;
  a.entryIndex = a.entriesRead++;
  a.pending = true;
  if (header != nullptr) {
    const bool folder = archive_entry_filetype(a.entry) == AE_IFDIR;
    CopyField(header->ArcName, a.name);
    CopyField(header->FileName, path);
    header->Flags = (Encrypted(a) ? kHeaderEncrypted : 0) | (folder ? kHeaderDirectory : 0);
    header->UnpSize = static_cast<unsigned>(archive_entry_size(a.entry));
    header->FileAttr = folder ? 0x10 : 0x20;
    header->CmtSize = 0;
    header->CmtState = 0;
  }
  return 0;
}

int ProcessFile(Archive& a, int operation, const wchar_t* destPath, const wchar_t* destName) {
  if (a.failed != 0) return a.failed;
  if (!a.pending) return kUnknownError;  // no header was read for this call
  a.pending = false;
  // In list mode, or when asked to skip, the next header passes over the entry's data.
  if (a.mode == kOpenList || operation == kSkip) return 0;
  if (Encrypted(a)) return kMissingPassword;
  if (operation == kTest) {
    return archive_entry_filetype(a.entry) == AE_IFREG ? CopyData(a, -1) : 0;
  }
  if (operation != kExtract) return kUnknownError;
  return ExtractEntry(a, destPath, destName);
}

// Runs an entry point body, turning what it may throw into a code for the caller.
template <typename Body>
int Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (...) {
    return kUnknownError;
  }
}

}  // namespace
}  // namespace varnisk::unrar

using varnisk::unrar::Archive;

#define UNRAR_EXPORT extern "C" __attribute__((visibility("default")))

UNRAR_EXPORT void* RAROpenArchiveEx(varnisk::unrar::OpenArchiveDataEx* data) {
  if (data == nullptr) return nullptr;
  void* archive = nullptr;
  const int code = varnisk::unrar::Guarded([&] {
    archive = varnisk::unrar::OpenArchive(data);
    return 0;
  });
  if (code != 0) data->OpenResult = static_cast<unsigned>(code);
  return archive;
}

UNRAR_EXPORT int RARReadHeader(void* handle, varnisk::unrar::HeaderData* header) {
  if (handle == nullptr) return varnisk::unrar::kUnknownError;
  Archive& a = *static_cast<Archive*>(handle);
  const varnisk::unrar::Utf8Locale locale(a.utf8);
  return varnisk::unrar::Guarded([&] { return varnisk::unrar::ReadHeader(a, header); });
}

UNRAR_EXPORT int RARProcessFileW(void* handle, int operation, wchar_t* destPath,
                                 wchar_t* destName) {
  if (handle == nullptr) return varnisk::unrar::kUnknownError;
  Archive& a = *static_cast<Archive*>(handle);
  const varnisk::unrar::Utf8Locale locale(a.utf8);
  return varnisk::unrar::Guarded(
      [&] { return varnisk::unrar::ProcessFile(a, operation, destPath, destName); });
}

UNRAR_EXPORT int RARCloseArchive(void* handle) {
  if (handle == nullptr) return varnisk::unrar::kCloseFailed;
  Archive* a = static_cast<Archive*>(handle);
  // The locale object outlives the archive's last use of it.
  locale_t utf8 = std::exchange(a->utf8, nullptr);
  {
    const varnisk::unrar::Utf8Locale locale(utf8);
    delete a;
  }
  if (utf8 != nullptr) freelocale(utf8);
  return 0;
}
