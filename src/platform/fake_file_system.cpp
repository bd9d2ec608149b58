#include "platform/fake_file_system.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/device_path.h"
#include "platform/name_pattern.h"
#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// The longest name the host folder of a device takes, in UTF-8 bytes.
constexpr size_t kMaxNameBytes = 255;

// zlib's gzip file reading, done in memory: gzip members one after another, data without
// the gzip signature as it is stored, a member cut short ending where it was cut, and
// anything after the last member that is not another member ignored.
class FakeGzipReader final : public GzipReader {
 public:
  explicit FakeGzipReader(std::string bytes) : bytes_(std::move(bytes)) {
    compressed_ = SignatureAt(0);
    if (compressed_) failed_ = inflateInit2(&stream_, 15 + 16) != Z_OK;
  }
  ~FakeGzipReader() override {
    if (compressed_) inflateEnd(&stream_);
  }
  FakeGzipReader(const FakeGzipReader&) = delete;
  FakeGzipReader& operator=(const FakeGzipReader&) = delete;

  Expected<size_t, Result> Read(char* buffer, size_t size) override {
    if (failed_) return Unexpected{kErrorReadFault};
    if (!compressed_) {
      const size_t n = std::min(size, bytes_.size() - at_);
      std::memcpy(buffer, bytes_.data() + at_, n);
      at_ += n;
      return n;
    }
    size_t got = 0;
    while (got < size && !ended_) {
      if (stream_.avail_in == 0) Feed();
      stream_.next_out = reinterpret_cast<Bytef*>(buffer + got);
      stream_.avail_out = static_cast<uInt>(std::min<size_t>(size - got, UINT_MAX));
      const uInt room = stream_.avail_out;
      const int status = inflate(&stream_, Z_NO_FLUSH);
      got += room - stream_.avail_out;
      if (status == Z_STREAM_END) {
        if (stream_.avail_in == 0) Feed();
        if (SignatureAt(Consumed())) {
          inflateReset(&stream_);
        } else {
          ended_ = true;
        }
      } else if (status == Z_BUF_ERROR || (status == Z_OK && stream_.avail_out != 0)) {
        // All input taken: the data was cut short (unless more waits to be fed).
        ended_ = stream_.avail_in != 0 || at_ == bytes_.size();
      } else if (status != Z_OK) {
        failed_ = true;
        return Unexpected{kErrorReadFault};
      }
    }
    return got;
  }

 private:
  bool SignatureAt(size_t offset) const {
    return bytes_.size() >= offset + 2 && static_cast<uint8_t>(bytes_[offset]) == 0x1f &&
           static_cast<uint8_t>(bytes_[offset + 1]) == 0x8b;
  }
  // Hands inflate the next stretch of input (all of it, unless it is beyond 32 bits).
  void Feed() {
    const size_t n = std::min<size_t>(bytes_.size() - at_, UINT_MAX);
    stream_.next_in = reinterpret_cast<Bytef*>(bytes_.data() + at_);
    stream_.avail_in = static_cast<uInt>(n);
    at_ += n;
  }
  size_t Consumed() const { return at_ - stream_.avail_in; }

  std::string bytes_;
  size_t at_ = 0;  // input handed on so far (or, stored data, read so far)
  bool compressed_ = false;
  bool ended_ = false;
  bool failed_ = false;
  z_stream stream_{};
};


}  // namespace

// Where a path leads: the folder holding its last name and the entry, if there is one.
// The root has no parent.
struct FakeFileSystem::Found {
  Node* parent = nullptr;
  Node* entry = nullptr;
  std::u16string name;
};

// Holds a file's pieces until Close stores them.
class FakeFileSystem::Writer final : public FileWriter {
 public:
  Writer(FakeFileSystem& files, std::u16string path) : files_(files), path_(std::move(path)) {}
  ~Writer() override { Close(); }

  Result Write(std::string_view bytes) override {
    if (closed_) return kErrorInvalidHandle;
    held_ += bytes;
    return kSuccess;
  }

  Result Close() override {
    if (closed_) return result_;
    closed_ = true;
    result_ = files_.Record("close", path_);
    if (result_ != kSuccess) return result_;
    // A file deleted meanwhile takes the bytes with it, as an open host file does.
    auto found = files_.Find(path_);
    if (found && found->entry != nullptr && !found->entry->folder) {
      found->entry->bytes = std::move(held_);
    }
    return kSuccess;
  }

 private:
  FakeFileSystem& files_;
  std::u16string path_;
  std::string held_;
  bool closed_ = false;
  Result result_ = kSuccess;
};

FakeFileSystem::FakeFileSystem() { root_.folder = true; }

Result FakeFileSystem::Record(const char* verb, std::u16string_view path,
                              std::string_view detail) {
  std::string call = std::string(verb) + " " + Utf16ToUtf8(path);
  if (!detail.empty()) (call += ' ') += detail;
  const auto fault = faults_.find(call);
  calls_.push_back(std::move(call));
  return fault == faults_.end() ? kSuccess : fault->second;
}

FakeFileSystem::Node* FakeFileSystem::Child(Node& folder, std::u16string_view name) {
  Node* match = nullptr;
  for (Node& child : folder.children) {
    if (child.name == name) return &child;
    if (match == nullptr && EqualsNoCase(child.name, name)) match = &child;
  }
  return match;
}

auto FakeFileSystem::Find(std::u16string_view path) -> Expected<Found, Result> {
  auto names = SplitDevicePath(path);
  if (!names) return Unexpected{names.error()};
  if (names->empty()) return Found{nullptr, &root_, u""};
  Node* folder = &root_;
  for (size_t i = 0; i < names->size(); ++i) {
    const std::u16string& name = (*names)[i];
    if (Utf16ToUtf8(name).size() > kMaxNameBytes) {
      return Unexpected{kErrorFilenameExcedRange};
    }
    Node* entry = Child(*folder, name);
    if (i + 1 == names->size()) return Found{folder, entry, name};
    if (entry == nullptr || !entry->folder) return Unexpected{kErrorPathNotFound};
    folder = entry;
  }
  return Unexpected{kErrorPathNotFound};  // not reached: names is not empty
}

Expected<uint32_t, Result> FakeFileSystem::GetAttributes(std::u16string_view path) {
  if (Result fault = Record("attributes", path)) return Unexpected{fault};
  auto found = Find(path);
  if (!found) return Unexpected{found.error()};
  if (found->entry == nullptr) return Unexpected{kErrorFileNotFound};
  return AttributesOf(*found->entry);
}

uint32_t FakeFileSystem::AttributesOf(const Node& entry) {
  uint32_t attributes = entry.folder ? kAttributeDirectory : kAttributeArchive;
  if (entry.readOnly) attributes |= kAttributeReadOnly;
  return attributes;
}

Expected<std::string, Result> FakeFileSystem::ReadFile(std::u16string_view path,
                                                       uint64_t maxBytes) {
  if (Result fault = Record("read", path)) return Unexpected{fault};
  auto found = Find(path);
  if (!found) return Unexpected{found.error()};
  if (found->entry == nullptr) return Unexpected{kErrorFileNotFound};
  if (found->entry->folder) return Unexpected{kErrorAccessDenied};
  return found->entry->bytes.substr(0, maxBytes);
}

auto FakeFileSystem::WritableFile(std::u16string_view path) -> Expected<Node*, Result> {
  auto found = Find(path);
  if (!found) return Unexpected{found.error()};
  Node* file = found->entry;
  if (file == nullptr) {
    file = &found->parent->children.emplace_back();
    file->name = found->name;
  } else if (file->folder || file->readOnly) {
    return Unexpected{kErrorAccessDenied};
  }
  return file;
}

Result FakeFileSystem::WriteFile(std::u16string_view path, std::string_view bytes) {
  if (Result fault = Record("write", path)) return fault;
  auto file = WritableFile(path);
  if (!file) return file.error();
  (*file)->bytes = bytes;
  return kSuccess;
}

Result FakeFileSystem::AppendFile(std::u16string_view path, std::string_view bytes) {
  if (Result fault = Record("append", path)) return fault;
  auto file = WritableFile(path);
  if (!file) return file.error();
  (*file)->bytes += bytes;
  return kSuccess;
}

Result FakeFileSystem::CreateFolder(std::u16string_view path) {
  if (Result fault = Record("mkdir", path)) return fault;
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry != nullptr) return kErrorAlreadyExists;
  Node& folder = found->parent->children.emplace_back();
  folder.name = found->name;
  folder.folder = true;
  return kSuccess;
}

Result FakeFileSystem::DeleteFile(std::u16string_view path) {
  if (Result fault = Record("delete", path)) return fault;
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry == nullptr) return kErrorFileNotFound;
  if (found->parent == nullptr || found->entry->folder || found->entry->readOnly) {
    return kErrorAccessDenied;
  }
  Erase(*found);
  return kSuccess;
}

Result FakeFileSystem::RemoveFolder(std::u16string_view path) {
  if (Result fault = Record("rmdir", path)) return fault;
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry == nullptr) return kErrorFileNotFound;
  if (found->parent == nullptr || !found->entry->folder || found->entry->readOnly) {
    return kErrorAccessDenied;
  }
  if (!found->entry->children.empty()) return kErrorDirNotEmpty;
  Erase(*found);
  return kSuccess;
}

Expected<std::vector<FindEntry>, Result> FakeFileSystem::FindFiles(
    std::u16string_view folder, std::u16string_view pattern) {
  if (Result fault = Record("find", folder, Utf16ToUtf8(pattern))) return Unexpected{fault};
  auto found = Find(folder);
  if (!found) return Unexpected{found.error()};
  if (found->entry == nullptr || !found->entry->folder) return Unexpected{kErrorPathNotFound};
  std::vector<FindEntry> entries;
  for (const Node& child : found->entry->children) {
    if (MatchesNamePattern(child.name, pattern)) {
      entries.push_back({child.name, AttributesOf(child)});
    }
  }
  if (entries.empty()) return Unexpected{kErrorFileNotFound};
  SortByName(entries);
  return entries;
}

Result FakeFileSystem::CopyFile(std::u16string_view source, std::u16string_view destination) {
  if (Result fault = Record("copy", source, Utf16ToUtf8(destination))) return fault;
  auto from = Find(source);
  if (!from) return from.error();
  if (from->entry == nullptr) return kErrorFileNotFound;
  if (from->entry->folder) return kErrorAccessDenied;
  auto to = Find(destination);
  if (!to) return to.error();
  // A file copied onto itself would be emptied before it is read.
  if (to->entry == from->entry) return kErrorAccessDenied;
  // Taken before the destination may be added beside the source, which moves it.
  std::string bytes = from->entry->bytes;
  const bool readOnly = from->entry->readOnly;
  auto file = WritableFile(destination);
  if (!file) return file.error();
  (*file)->bytes = std::move(bytes);
  (*file)->readOnly = readOnly;
  return kSuccess;
}

Result FakeFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  if (Result fault = Record("setattributes", path, std::to_string(attributes))) return fault;
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry == nullptr) return kErrorFileNotFound;
  if (found->parent == nullptr) return kErrorAccessDenied;
  found->entry->readOnly = (attributes & kAttributeReadOnly) != 0;
  return kSuccess;
}

Result FakeFileSystem::DeleteTree(std::u16string_view path) {
  if (Result fault = Record("deletetree", path)) return fault;
  if (const auto wildcard = SplitWildcardPath(path)) {
    auto folder = Find(wildcard->folder);
    if (!folder) return folder.error();
    if (folder->entry == nullptr || !folder->entry->folder) return kErrorPathNotFound;
    const size_t erased = std::erase_if(folder->entry->children, [&](const Node& child) {
      return MatchesNamePattern(child.name, wildcard->pattern);
    });
    return erased == 0 ? kErrorFileNotFound : kSuccess;
  }
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry == nullptr) return kErrorFileNotFound;
  if (found->parent == nullptr) return kErrorAccessDenied;
  Erase(*found);
  return kSuccess;
}

Expected<std::unique_ptr<GzipReader>, Result> FakeFileSystem::OpenGzipReader(
    std::u16string_view path) {
  if (Result fault = Record("opengzip", path)) return Unexpected{fault};
  auto found = Find(path);
  if (!found) return Unexpected{found.error()};
  if (found->entry == nullptr) return Unexpected{kErrorFileNotFound};
  if (found->entry->folder) return Unexpected{kErrorAccessDenied};
  return std::unique_ptr<GzipReader>(std::make_unique<FakeGzipReader>(found->entry->bytes));
}

Expected<std::unique_ptr<FileWriter>, Result> FakeFileSystem::CreateFileWriter(
    std::u16string_view path) {
  if (Result fault = Record("create", path)) return Unexpected{fault};
  auto file = WritableFile(path);
  if (!file) return Unexpected{file.error()};
  (*file)->bytes.clear();
  return std::unique_ptr<FileWriter>(std::make_unique<Writer>(*this, std::u16string(path)));
}

void FakeFileSystem::Erase(const Found& found) {
  std::erase_if(found.parent->children,
                [&](const Node& child) { return &child == found.entry; });
}

Result FakeFileSystem::SetReadOnly(std::u16string_view path, bool readOnly) {
  auto found = Find(path);
  if (!found) return found.error();
  if (found->entry == nullptr) return kErrorFileNotFound;
  found->entry->readOnly = readOnly;
  return kSuccess;
}

void FakeFileSystem::List(const Node& folder, const std::string& prefix,
                          std::vector<std::string>& out) {
  for (const Node& child : folder.children) {
    const std::string path = prefix + "\\" + Utf16ToUtf8(child.name);
    out.push_back(child.folder ? path + "\\" : path);
    if (child.folder) List(child, path, out);
  }
}

std::string FakeFileSystem::Listing() const {
  std::vector<std::string> entries;
  List(root_, "", entries);
  std::sort(entries.begin(), entries.end());
  std::string out;
  for (const std::string& entry : entries) {
    if (!out.empty()) out += ' ';
    out += entry;
  }
  return out;
}

}  // namespace varnisk::platform
