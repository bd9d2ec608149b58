#include "platform/provisioning.h"

#include <pugixml.hpp>

#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_path.h"
#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// One change the document asks for, checked and ready to apply.
struct Change {
  enum class Kind {
    kCreateKey,
    kSetValue,
    kDeleteValue,
    kDeleteKey,
    kMakeDir,
    kCopy,
    kDelete,
  };
  Kind kind;
  RootKey root = RootKey::kLocalMachine;
  std::u16string path;  // the key below root, or the device path
  std::u16string name;  // the value name; for kCopy the source's device path
  uint32_t type = 0;
  std::string data;
};

enum class Element { kCharacteristic, kNoCharacteristic, kParm, kNoParm };

enum class FileOperation { kMakeDir, kCopy, kDelete };

// The separator of the strings of a multiplestring value, as provisioning tools write it.
constexpr char16_t kStringSeparator = 0xF000;

// The file operation a type names, compared without regard to case.
std::optional<FileOperation> OperationNamed(std::u16string_view type) {
  if (EqualsNoCase(type, u"MakeDir")) return FileOperation::kMakeDir;
  if (EqualsNoCase(type, u"Copy")) return FileOperation::kCopy;
  if (EqualsNoCase(type, u"Delete")) return FileOperation::kDelete;
  return std::nullopt;
}

std::optional<RootKey> RootNamed(std::u16string_view name) {
  static constexpr std::pair<std::u16string_view, RootKey> kRoots[] = {
      {u"HKLM", RootKey::kLocalMachine},   {u"HKEY_LOCAL_MACHINE", RootKey::kLocalMachine},
      {u"HKCU", RootKey::kCurrentUser},    {u"HKEY_CURRENT_USER", RootKey::kCurrentUser},
      {u"HKCR", RootKey::kClassesRoot},    {u"HKEY_CLASSES_ROOT", RootKey::kClassesRoot},
      {u"HKU", RootKey::kUsers},           {u"HKEY_USERS", RootKey::kUsers},
  };
  for (const auto& [root, key] : kRoots) {
    if (EqualsNoCase(name, root)) return key;
  }
  return std::nullopt;
}

// The non-empty levels of a key path joined with "\", appended to base: the store passes
// empty levels over, so "Software\\X\" and "Software\X" are one key.
std::u16string JoinKeyPath(std::u16string base, std::u16string_view relative) {
  for (size_t start = 0; start <= relative.size();) {
    size_t end = relative.find(u'\\', start);
    if (end == std::u16string_view::npos) end = relative.size();
    if (end > start) {
      if (!base.empty()) base += u'\\';
      base += relative.substr(start, end - start);
    }
    start = end + 1;
  }
  return base;
}

// The device path of names, "\" for none.
std::u16string DevicePathOf(const std::vector<std::u16string>& names) {
  std::u16string path;
  for (const std::u16string& name : names) path += u"\\" + name;
  return path.empty() ? u"\\" : path;
}

void AppendUtf16Le(std::string& out, std::u16string_view text) {
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsText(pugi::xml_node node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

bool IsBlankText(pugi::xml_node node) {
  for (const char* c = node.value(); *c != '\0'; ++c) {
    if (!IsBlank(static_cast<unsigned char>(*c))) return false;
  }
  return true;
}

//   dword := blanks ( ["-" | "+"] digits | ("0x" | "0X") hexdigits ) blanks
// Negative numbers are kept as their 32-bit two's complement.
std::optional<uint32_t> ParseDword(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  uint64_t base = 10;
  bool negative = false;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  const uint64_t limit = negative ? 0x80000000u : 0xFFFFFFFFu;
  uint64_t value = 0;
  for (char16_t c : text) {
    uint64_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > limit) return std::nullopt;  // checked per digit, so it cannot wrap
  }
  return static_cast<uint32_t>(negative ? 0x100000000u - value : value);
}

//   base64 := { 4 symbols } [ 2 symbols "==" | 3 symbols "=" ], blanks anywhere
std::optional<std::string> DecodeBase64(std::u16string_view text) {
  std::string out;
  uint32_t bits = 0;
  int symbols = 0;
  int padding = 0;
  for (char16_t c : text) {
    if (IsBlank(c)) continue;
    int value;
    if (c >= u'A' && c <= u'Z') {
      value = c - u'A';
    } else if (c >= u'a' && c <= u'z') {
      value = c - u'a' + 26;
    } else if (c >= u'0' && c <= u'9') {
      value = c - u'0' + 52;
    } else if (c == u'+') {
      value = 62;
    } else if (c == u'/') {
      value = 63;
    } else if (c == u'=' && symbols % 4 >= 2) {
      ++padding;
      value = 0;
    } else {
      return std::nullopt;
    }
    if (padding > 0 && c != u'=') return std::nullopt;  // nothing after the padding
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++symbols % 4 == 0) {
      const char bytes[3] = {static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
                             static_cast<char>(bits)};
      out.append(bytes, 3 - padding);
      bits = 0;
    }
  }
  if (symbols % 4 != 0) return std::nullopt;
  return out;
}

// The type and bytes of a parm's value, or nullopt when the text does not fit the type.
std::optional<std::pair<uint32_t, std::string>> EncodeValue(std::u16string_view datatype,
                                                            std::u16string_view value) {
  std::string data;
  if (EqualsNoCase(datatype, u"string")) {
    AppendUtf16Le(data, value);
    data.append(2, '\0');
    return std::pair{kRegSz, std::move(data)};
  }
  if (EqualsNoCase(datatype, u"integer")) {
    const auto number = ParseDword(value);
    if (!number) return std::nullopt;
    for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>(*number >> shift);
    return std::pair{kRegDword, std::move(data)};
  }
  if (EqualsNoCase(datatype, u"multiplestring")) {
    for (size_t start = 0; start <= value.size();) {
      size_t end = value.find(kStringSeparator, start);
      if (end == std::u16string_view::npos) end = value.size();
      if (end > start) {
        AppendUtf16Le(data, value.substr(start, end - start));
        data.append(2, '\0');
      }
      start = end + 1;
    }
    data.append(data.empty() ? 4 : 2, '\0');
    return std::pair{kRegMultiSz, std::move(data)};
  }
  if (EqualsNoCase(datatype, u"binary")) {
    auto bytes = DecodeBase64(value);
    if (!bytes) return std::nullopt;
    return std::pair{kRegBinary, std::move(*bytes)};
  }
  return std::nullopt;
}

// Walks the parsed document and turns it into the changes it asks for, refusing it whole
// at the first thing it cannot take.
class Planner {
 public:
  Result Document(const pugi::xml_document& document);

  std::vector<Change> changes;
  bool touchesRegistry = false;

 private:
  Result Provider(pugi::xml_node node);
  Result RegistryKey(pugi::xml_node node, RootKey root, const std::u16string& path,
                     int depth);
  Result Folder(pugi::xml_node node, const std::u16string& path, bool holdsEntries);
  Result Operation(pugi::xml_node node, FileOperation operation, const std::u16string& path);

  template <typename Visit>
  static Result ForEachElement(pugi::xml_node parent, Visit&& visit);
  static Expected<std::optional<std::u16string>, Result> Attribute(pugi::xml_node node,
                                                                   const char* name);
  static Expected<std::u16string, Result> Required(pugi::xml_node node, const char* name);
};

// The attribute's text, nullopt when absent. The parser keeps an attribute written twice,
// which XML forbids.
Expected<std::optional<std::u16string>, Result> Planner::Attribute(pugi::xml_node node,
                                                                   const char* name) {
  std::optional<std::u16string> found;
  for (pugi::xml_attribute attribute : node.attributes()) {
    if (std::strcmp(attribute.name(), name) != 0) continue;
    if (found) return Unexpected{kConfigMalformedDocument};
    found = Utf8ToUtf16(attribute.value());
  }
  return found;
}

// The attribute's text; a missing or empty one makes the document malformed.
Expected<std::u16string, Result> Planner::Required(pugi::xml_node node, const char* name) {
  auto text = Attribute(node, name);
  if (!text) return Unexpected{text.error()};
  if (!*text || (*text)->empty()) return Unexpected{kConfigMalformedDocument};
  return std::move(**text);
}

// Calls visit(child, element) for each element below parent, in order, and stops at the
// first failure. Text (other than blanks) and elements that are not provisioning
// elements make the document malformed.
template <typename Visit>
Result Planner::ForEachElement(pugi::xml_node parent, Visit&& visit) {
  for (pugi::xml_node child : parent.children()) {
    if (IsText(child)) {
      if (!IsBlankText(child)) return kConfigMalformedDocument;
      continue;
    }
    if (child.type() != pugi::node_element) continue;  // comments and the like
    const std::string_view name = child.name();
    Element element;
    if (name == "characteristic") {
      element = Element::kCharacteristic;
    } else if (name == "nocharacteristic") {
      element = Element::kNoCharacteristic;
    } else if (name == "parm") {
      element = Element::kParm;
    } else if (name == "noparm") {
      element = Element::kNoParm;
    } else {
      return kConfigMalformedDocument;
    }
    // Only a characteristic holds anything.
    if (element != Element::kCharacteristic) {
      for (pugi::xml_node inner : child.children()) {
        if (inner.type() == pugi::node_element || (IsText(inner) && !IsBlankText(inner))) {
          return kConfigMalformedDocument;
        }
      }
    }
    if (Result result = visit(child, element)) return result;
  }
  return kSuccess;
}

Result Planner::Document(const pugi::xml_document& document) {
  pugi::xml_node top;
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_element) {
      if (top) return kConfigMalformedDocument;  // XML has one top element
      top = child;
    } else if (IsText(child) && !IsBlankText(child)) {
      return kConfigMalformedDocument;
    }
  }
  if (!top) return kConfigMalformedDocument;
  if (std::string_view(top.name()) == "characteristic") return Provider(top);
  if (std::string_view(top.name()) != "wap-provisioningdoc") return kConfigMalformedDocument;
  bool anyProvider = false;
  const Result result = ForEachElement(top, [&](pugi::xml_node child, Element element) {
    if (element != Element::kCharacteristic) return kConfigMalformedDocument;
    anyProvider = true;
    return Provider(child);
  });
  if (result != kSuccess) return result;
  return anyProvider ? kSuccess : kConfigMalformedDocument;
}

Result Planner::Provider(pugi::xml_node node) {
  auto type = Required(node, "type");
  if (!type) return type.error();
  if (EqualsNoCase(*type, u"Registry")) {
    return ForEachElement(node, [&](pugi::xml_node child, Element element) -> Result {
      if (element != Element::kCharacteristic && element != Element::kNoCharacteristic) {
        return kConfigMalformedDocument;
      }
      auto key = Required(child, "type");
      if (!key) return key.error();
      const std::u16string_view text = *key;
      const size_t slash = text.find(u'\\');
      const auto root = RootNamed(text.substr(0, slash));
      if (!root) return kConfigMalformedDocument;
      const std::u16string path =
          slash == std::u16string_view::npos ? u"" : JoinKeyPath(u"", text.substr(slash));
      if (element == Element::kCharacteristic) return RegistryKey(child, *root, path, 2);
      if (path.empty()) return kConfigMalformedDocument;  // a root cannot be deleted
      touchesRegistry = true;
      changes.push_back({Change::Kind::kDeleteKey, *root, path, {}, 0, {}});
      return kSuccess;
    });
  }
  if (EqualsNoCase(*type, u"FileOperation")) {
    return ForEachElement(node, [&](pugi::xml_node child, Element element) -> Result {
      if (element != Element::kCharacteristic) return kConfigMalformedDocument;
      auto path = Required(child, "type");
      if (!path) return path.error();
      auto names = SplitDevicePath(*path);
      if (!names) return kConfigMalformedDocument;
      return Folder(child, DevicePathOf(*names), true);
    });
  }
  return kConfigUnknownEntry;
}

// The key characteristic node names root\path; depth counts the characteristics it sits
// in.
Result Planner::RegistryKey(pugi::xml_node node, RootKey root, const std::u16string& path,
                            int depth) {
  if (depth > kMaxProvisioningNesting) return kConfigMalformedDocument;
  touchesRegistry = true;
  changes.push_back({Change::Kind::kCreateKey, root, path, {}, 0, {}});
  return ForEachElement(node, [&](pugi::xml_node child, Element element) -> Result {
    if (element == Element::kCharacteristic || element == Element::kNoCharacteristic) {
      auto relative = Required(child, "type");
      if (!relative) return relative.error();
      std::u16string below = JoinKeyPath(path, *relative);
      if (element == Element::kCharacteristic) {
        return RegistryKey(child, root, below, depth + 1);
      }
      if (below.empty()) return kConfigMalformedDocument;  // a root cannot be deleted
      changes.push_back({Change::Kind::kDeleteKey, root, std::move(below), {}, 0, {}});
      return kSuccess;
    }
    // An empty name is the default value, so only a missing name is malformed.
    auto name = Attribute(child, "name");
    if (!name) return name.error();
    if (!*name) return kConfigMalformedDocument;
    if (element == Element::kNoParm) {
      changes.push_back({Change::Kind::kDeleteValue, root, path, std::move(**name), 0, {}});
      return kSuccess;
    }
    auto value = Attribute(child, "value");
    auto datatype = Attribute(child, "datatype");
    if (!value) return value.error();
    if (!datatype) return datatype.error();
    auto encoded = EncodeValue(datatype->value_or(u"string"), value->value_or(u""));
    if (!encoded) return kConfigMalformedDocument;
    changes.push_back({Change::Kind::kSetValue, root, path, std::move(**name),
                       encoded->first, std::move(encoded->second)});
    return kSuccess;
  });
}

// A characteristic naming the device path path: a folder of the provider, which may
// name entries in it (holdsEntries), or such an entry, which holds only operations.
Result Planner::Folder(pugi::xml_node node, const std::u16string& path, bool holdsEntries) {
  return ForEachElement(node, [&](pugi::xml_node child, Element element) -> Result {
    if (element != Element::kCharacteristic) return kConfigMalformedDocument;
    auto type = Required(child, "type");
    if (!type) return type.error();
    if (const auto operation = OperationNamed(*type)) {
      return Operation(child, *operation, path);
    }
    if (!holdsEntries) return kConfigUnknownEntry;
    // One or more names below the folder: "." and ".." would name it or leave it.
    std::u16string_view rest = *type;
    for (size_t start = 0; start <= rest.size();) {
      size_t end = rest.find_first_of(u"\\/", start);
      if (end == std::u16string_view::npos) end = rest.size();
      const std::u16string_view name = rest.substr(start, end - start);
      if (name == u"." || name == u"..") return kConfigMalformedDocument;
      start = end + 1;
    }
    auto names = SplitDevicePath(path + u"\\" + *type);
    if (!names || names->size() <= SplitDevicePath(path)->size()) {
      return kConfigMalformedDocument;
    }
    return Folder(child, DevicePathOf(*names), false);
  });
}

Result Planner::Operation(pugi::xml_node node, FileOperation operation,
                          const std::u16string& path) {
  std::optional<std::u16string> source;
  const Result result = ForEachElement(node, [&](pugi::xml_node child, Element element) {
    if (element != Element::kParm) return kConfigMalformedDocument;
    auto name = Required(child, "name");
    if (!name) return name.error();
    if (operation != FileOperation::kCopy || !EqualsNoCase(*name, u"Source")) {
      return kConfigUnknownEntry;
    }
    if (source) return kConfigMalformedDocument;  // one source per copy
    auto value = Required(child, "value");
    if (!value) return value.error();
    auto names = SplitDevicePath(*value);
    if (!names || names->empty()) return kConfigMalformedDocument;
    source = DevicePathOf(*names);
    return kSuccess;
  });
  if (result != kSuccess) return result;
  switch (operation) {
    case FileOperation::kMakeDir:
      changes.push_back({Change::Kind::kMakeDir, {}, path, {}, 0, {}});
      break;
    case FileOperation::kCopy:
      if (!source) return kConfigMalformedDocument;
      changes.push_back({Change::Kind::kCopy, {}, path, std::move(*source), 0, {}});
      break;
    case FileOperation::kDelete:
      changes.push_back({Change::Kind::kDelete, {}, path, {}, 0, {}});
      break;
  }
  return kSuccess;
}

// Creates the folder at path with every missing folder above it; an existing folder is
// fine, an existing file in the way is not.
Result MakeFolders(FileSystem& files, std::u16string_view path) {
  auto names = SplitDevicePath(path);
  if (!names) return names.error();
  std::u16string prefix;
  for (const std::u16string& name : *names) {
    prefix += u"\\" + name;
    const Result made = files.CreateFolder(prefix);
    if (made == kErrorAlreadyExists) {
      const auto attributes = files.GetAttributes(prefix);
      if (!attributes) return attributes.error();
      if ((*attributes & kAttributeDirectory) == 0) return kErrorAlreadyExists;
    } else if (made != kSuccess) {
      return made;
    }
  }
  return kSuccess;
}

// Deleting what is already missing reaches what the document asks for.
Result Missing(Result result) { return result == kErrorFileNotFound ? kSuccess : result; }

// Applies one change; the device's own code when it fails.
Result Apply(const Change& change, FileSystem& files, RegistryStore& registry) {
  switch (change.kind) {
    case Change::Kind::kCreateKey:
    case Change::Kind::kSetValue:
    case Change::Kind::kDeleteValue: {
      const bool deleting = change.kind == Change::Kind::kDeleteValue;
      auto key = deleting ? registry.OpenKey(change.root, change.path)
                          : registry.CreateKey(change.root, change.path);
      if (!key) return deleting ? Missing(key.error()) : key.error();
      Result result = kSuccess;
      if (change.kind == Change::Kind::kSetValue) {
        result = registry.SetValue(*key, change.name, change.type, change.data);
      } else if (deleting) {
        result = Missing(registry.DeleteValue(*key, change.name));
      }
      registry.CloseKey(*key);
      return result;
    }
    case Change::Kind::kDeleteKey:
      return Missing(registry.DeleteKey(change.root, change.path));
    case Change::Kind::kMakeDir:
      return MakeFolders(files, change.path);
    case Change::Kind::kCopy: {
      auto bytes = files.ReadFile(change.name);
      if (!bytes) return bytes.error();
      return files.WriteFile(change.path, *bytes);
    }
    case Change::Kind::kDelete: {
      const auto attributes = files.GetAttributes(change.path);
      if (!attributes) {
        return attributes.error() == kErrorPathNotFound ? kSuccess : Missing(attributes.error());
      }
      return (*attributes & kAttributeDirectory) ? files.RemoveFolder(change.path)
                                                 : files.DeleteFile(change.path);
    }
  }
  return kErrorInvalidFunction;
}

// The document as a plan of changes, or the code that refuses it.
Expected<Planner, Result> PlanDocument(std::u16string_view text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.remove_prefix(1);
  // The parser reads a NUL as the end of the text; XML allows none anywhere.
  if (text.find(u'\0') != std::u16string_view::npos) {
    return Unexpected{kConfigMalformedDocument};
  }
  const std::string utf8 = Utf16ToUtf8(text);
  pugi::xml_document document;
  // Fragment mode keeps text outside the top element, so that it can be refused.
  const pugi::xml_parse_result parsed = document.load_buffer(
      utf8.data(), utf8.size(), pugi::parse_default | pugi::parse_fragment,
      pugi::encoding_utf8);
  if (parsed.status == pugi::status_out_of_memory) return Unexpected{kErrorNotEnoughMemory};
  if (!parsed) return Unexpected{kConfigMalformedDocument};
  Planner planner;
  if (Result result = planner.Document(document)) return Unexpected{result};
  return planner;
}

}  // namespace

ProvisioningManager::ProvisioningManager(FileSystem& files, RegistryStore& registry)
    : files_(files), registry_(registry) {}

Result ProvisioningManager::ProcessConfigXml(std::u16string_view document) {
  std::optional<Planner> plan;
  try {
    auto planned = PlanDocument(document);
    if (!planned) return planned.error();
    plan.emplace(std::move(*planned));
  } catch (const std::exception&) {  // a document larger than memory
    return kErrorNotEnoughMemory;
  }
  if (plan->touchesRegistry && registry_.BeginBatch() != kSuccess) return kConfigApplyFailed;
  Result result = kSuccess;
  try {
    for (const Change& change : plan->changes) {
      if (Apply(change, files_, registry_) != kSuccess) {
        result = kConfigApplyFailed;
        break;
      }
    }
  } catch (const std::exception&) {
    result = kConfigApplyFailed;
  }
  if (!plan->touchesRegistry) return result;
  // A failure undoes the registry changes made before it; file changes cannot be undone.
  if (result != kSuccess) {
    registry_.CancelBatch();
  } else if (registry_.EndBatch() != kSuccess) {
    result = kConfigApplyFailed;
  }
  return result;
}

}  // namespace varnisk::platform
