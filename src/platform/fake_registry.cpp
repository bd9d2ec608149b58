#include "platform/fake_registry.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

std::u16string Folded(std::u16string_view name) {
  std::u16string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), UpperCase);
  return folded;
}

// The non-empty levels of a key path, as the host registry reads them.
std::vector<std::u16string_view> Levels(std::u16string_view path) {
  std::vector<std::u16string_view> levels;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) levels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

}  // namespace

FakeRegistry::FakeRegistry() {
  for (RootKey root :
       {RootKey::kClassesRoot, RootKey::kCurrentUser, RootKey::kLocalMachine, RootKey::kUsers}) {
    keys_[RootKeyId(root)] = Key{};
  }
}

void FakeRegistry::FailWrite(int n, Result code) {
  writesBeforeFault_ = n;
  faultCode_ = code;
}

Result FakeRegistry::CountWrite() {
  if (writesBeforeFault_ <= 0 || --writesBeforeFault_ > 0) return kSuccess;
  return faultCode_;
}

FakeRegistry::Key* FakeRegistry::Live(KeyHandle key) {
  const auto found = keys_.find(key);
  return found == keys_.end() ? nullptr : &found->second;
}

auto FakeRegistry::Find(RootKey root, std::u16string_view path, bool create)
    -> Expected<KeyHandle, Result> {
  KeyHandle id = RootKeyId(root);
  if (id == 0) return Unexpected{kErrorInvalidHandle};
  for (std::u16string_view name : Levels(path)) {
    std::map<std::u16string, KeyHandle>& children = keys_[id].children;
    std::u16string folded = Folded(name);
    const auto child = children.find(folded);
    if (child != children.end()) {
      id = child->second;
      continue;
    }
    if (!create) return Unexpected{kErrorFileNotFound};
    const KeyHandle made = nextId_++;
    children.emplace(std::move(folded), made);
    keys_[made] = Key{id, std::u16string(name), {}, {}};
    id = made;
  }
  return id;
}

Expected<KeyHandle, Result> FakeRegistry::CreateKey(RootKey root, std::u16string_view path) {
  if (Result fault = CountWrite()) return Unexpected{fault};
  return Find(root, path, true);
}

Expected<KeyHandle, Result> FakeRegistry::OpenKey(RootKey root, std::u16string_view path) {
  return Find(root, path, false);
}

void FakeRegistry::CloseKey(KeyHandle) {}

Result FakeRegistry::SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                              std::string_view data) {
  if (Result fault = CountWrite()) return fault;
  if (key == 0) return kErrorInvalidHandle;
  if (data.size() > UINT32_MAX) return kErrorInvalidParameter;
  Key* live = Live(key);
  if (live == nullptr) return kErrorFileNotFound;
  // An existing value keeps the name it was made with.
  auto [value, made] = live->values.try_emplace(Folded(name));
  if (made) value->second.name = name;
  value->second.type = type;
  value->second.data = data;
  return kSuccess;
}

Result FakeRegistry::QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type,
                                void* buffer, uint32_t capacity, uint32_t* size) {
  if (key == 0) return kErrorInvalidHandle;
  if (buffer != nullptr && size == nullptr) return kErrorInvalidParameter;
  Key* live = Live(key);
  if (live == nullptr) return kErrorFileNotFound;
  const auto value = live->values.find(Folded(name));
  if (value == live->values.end()) return kErrorFileNotFound;
  const std::string& data = value->second.data;
  if (type != nullptr) *type = value->second.type;
  if (size != nullptr) *size = static_cast<uint32_t>(data.size());
  if (buffer == nullptr) return kSuccess;
  if (data.size() > capacity) return kErrorMoreData;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return kSuccess;
}

Result FakeRegistry::DeleteValue(KeyHandle key, std::u16string_view name) {
  if (Result fault = CountWrite()) return fault;
  if (key == 0) return kErrorInvalidHandle;
  Key* live = Live(key);
  if (live == nullptr || live->values.erase(Folded(name)) == 0) return kErrorFileNotFound;
  return kSuccess;
}

void FakeRegistry::Erase(KeyHandle key) {
  std::vector<KeyHandle> pending = {key};
  while (!pending.empty()) {
    const KeyHandle id = pending.back();
    pending.pop_back();
    for (const auto& [folded, child] : keys_[id].children) pending.push_back(child);
    keys_.erase(id);
  }
}

Result FakeRegistry::DeleteKey(RootKey root, std::u16string_view path) {
  if (Result fault = CountWrite()) return fault;
  if (RootKeyId(root) == 0) return kErrorInvalidHandle;
  if (Levels(path).empty()) return kErrorAccessDenied;
  const auto key = Find(root, path, false);
  if (!key) return key.error();
  Key& parent = keys_[keys_[*key].parent];
  parent.children.erase(Folded(keys_[*key].name));
  Erase(*key);
  return kSuccess;
}

Result FakeRegistry::BeginBatch() {
  if (batchStart_) return kErrorInvalidFunction;
  batchStart_ = keys_;
  return kSuccess;
}

Result FakeRegistry::EndBatch() {
  if (!batchStart_) return kErrorInvalidFunction;
  if (Result fault = CountWrite()) {
    AbandonBatch();
    return fault;
  }
  batchStart_.reset();
  return kSuccess;
}

Result FakeRegistry::CancelBatch() {
  if (!batchStart_) return kErrorInvalidFunction;
  AbandonBatch();
  return kSuccess;
}

void FakeRegistry::AbandonBatch() {
  if (!batchStart_) return;
  keys_ = std::move(*batchStart_);
  batchStart_.reset();
}

Expected<std::vector<RegistryKeyRecord>, Result> FakeRegistry::ExportKeys(
    RootKey root, std::u16string_view path) {
  const auto key = Find(root, path, false);
  if (!key) return Unexpected{key.error()};
  std::vector<std::u16string> names;
  for (KeyHandle id = *key; keys_[id].parent != 0; id = keys_[id].parent) {
    names.push_back(keys_[id].name);
  }
  std::u16string stored;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    stored += (stored.empty() ? u"" : u"\\") + *name;
  }

  std::vector<RegistryKeyRecord> records;
  std::vector<std::pair<KeyHandle, std::u16string>> pending = {{*key, stored}};
  while (!pending.empty()) {
    auto [id, keyPath] = std::move(pending.back());
    pending.pop_back();
    const Key& current = keys_[id];
    for (auto child = current.children.rbegin(); child != current.children.rend(); ++child) {
      const std::u16string& name = keys_[child->second].name;
      pending.emplace_back(child->second, keyPath.empty() ? name : keyPath + u'\\' + name);
    }
    RegistryKeyRecord& record = records.emplace_back();
    record.root = root;
    record.path = std::move(keyPath);
    for (const auto& [folded, value] : current.values) record.values.push_back(value);
  }
  return records;
}

namespace {

const char* ShortRootName(RootKey root) {
  switch (root) {
    case RootKey::kClassesRoot:
      return "HKCR";
    case RootKey::kCurrentUser:
      return "HKCU";
    case RootKey::kLocalMachine:
      return "HKLM";
    case RootKey::kUsers:
      return "HKU";
  }
  return "?";
}

std::string DataText(uint32_t type, const std::string& data) {
  const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
  if (text && data.size() % 2 == 0) {
    std::u16string units(data.size() / 2, u'\0');
    std::memcpy(units.data(), data.data(), data.size());
    std::string out = "\"";
    for (size_t start = 0; start <= units.size();) {
      size_t end = units.find(u'\0', start);
      if (end == std::u16string::npos) end = units.size();
      out += Utf16ToUtf8(std::u16string_view(units).substr(start, end - start));
      if (end < units.size()) out += "\\0";
      start = end + 1;
    }
    return out + "\"";
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : data) {
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

}  // namespace

std::string RegistryListing(RegistryStore& store, RootKey root, std::u16string_view path) {
  const auto records = store.ExportKeys(root, path);
  if (!records) return "error " + std::to_string(records.error());
  std::string out;
  for (const RegistryKeyRecord& record : *records) {
    if (!out.empty()) out += '\n';
    out += ShortRootName(record.root);
    if (!record.path.empty()) out += "\\" + Utf16ToUtf8(record.path);
    for (const RegistryValue& value : record.values) {
      out += ' ';
      out += value.name.empty() ? "@" : Utf16ToUtf8(value.name);
      out += "=" + std::to_string(value.type) + ":" + DataText(value.type, value.data);
    }
  }
  return out;
}

}  // namespace varnisk::platform
