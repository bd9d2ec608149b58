#include "platform/fake_file_system.h"

#include <algorithm>

#include "platform/device_path.h"
#include "platform/name_pattern.h"
#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// The longest name the host folder of a device takes, in UTF-8 bytes.
constexpr size_t kMaxNameBytes = 255;


}  // namespace

// Where a path leads: the folder holding its last name and the entry, if there is one.
// The root has no parent.
struct FakeFileSystem::Found {
  Node* parent = nullptr;
  Node* entry = nullptr;
  std::u16string name;
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
