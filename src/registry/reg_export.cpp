#include "registry/reg_export.h"

#include <cstdio>

#include "platform/utf.h"
#include "registry/reg_import.h"
#include "registry/registry_text.h"

namespace varnisk::registry {
namespace {

using platform::RegistryKeyRecord;
using platform::RegistryValue;
using platform::RootKey;

// Roots in the order their long names sort.
constexpr std::pair<RootKey, std::string_view> kRoots[] = {
    {RootKey::kClassesRoot, "HKEY_CLASSES_ROOT"},
    {RootKey::kCurrentUser, "HKEY_CURRENT_USER"},
    {RootKey::kLocalMachine, "HKEY_LOCAL_MACHINE"},
    {RootKey::kUsers, "HKEY_USERS"},
};

// Hexadecimal data lines are continued after this many characters, as registry editors
// write them.
constexpr size_t kLineWidth = 76;

std::string_view RootName(RootKey root) {
  for (const auto& [key, name] : kRoots) {
    if (key == root) return name;
  }
  return {};
}

std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  for (char c : platform::Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A REG_SZ value reads back the same from a quoted string only when it is exactly one
// string ending in its NUL and holds no character below U+0020.
bool IsPlainString(std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::u16string units = BytesToUnits(data);
  if (units.back() != 0) return false;
  for (size_t i = 0; i + 1 < units.size(); ++i) {
    if (units[i] < 0x20) return false;
  }
  return true;
}

// "hex:" or "hex(N):" and the bytes, continued with "\" on lines of about kLineWidth.
std::string HexData(uint32_t type, std::string_view data, size_t used) {
  char tag[24];
  if (type == platform::kRegBinary) {
    std::snprintf(tag, sizeof tag, "hex:");
  } else {
    std::snprintf(tag, sizeof tag, "hex(%x):", type);
  }
  std::string out = tag;
  used += out.size();
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    out += byte;
    used += 2;
    if (i + 1 == data.size()) break;
    out.push_back(',');
    ++used;
    if (used >= kLineWidth) {
      out += "\\\n  ";
      used = 2;
    }
  }
  return out;
}

std::string ValueLine(const RegistryValue& value) {
  std::string line = value.name.empty() ? "@" : Quoted(value.name);
  line.push_back('=');
  const std::string_view data = value.data;
  if (value.type == platform::kRegSz && IsPlainString(data)) {
    line += Quoted(BytesToUnits(data.substr(0, data.size() - 2)));
  } else if (value.type == platform::kRegDword && data.size() == 4) {
    char number[16];
    std::snprintf(number, sizeof number, "dword:%08x",
                  static_cast<unsigned>(static_cast<unsigned char>(data[0]) |
                                        static_cast<unsigned char>(data[1]) << 8 |
                                        static_cast<unsigned char>(data[2]) << 16 |
                                        static_cast<unsigned char>(data[3]) << 24));
    line += number;
  } else {
    line += HexData(value.type, data, line.size());
  }
  line.push_back('\n');
  return line;
}

void AppendKey(std::string& out, const RegistryKeyRecord& key) {
  out += "[";
  out += RootName(key.root);
  out += "\\";
  out += platform::Utf16ToUtf8(key.path);
  out += "]\n";
  for (const RegistryValue& value : key.values) out += ValueLine(value);
  out += "\n";
}

// Appends the keys of one root; the root itself only when it holds values.
Result AppendRoot(std::string& out, platform::RegistryStore& store, RootKey root,
                  std::u16string_view path) {
  auto keys = store.ExportKeys(root, path);
  if (!keys) return keys.error();
  for (const RegistryKeyRecord& key : *keys) {
    if (key.path.empty() && key.values.empty()) continue;
    AppendKey(out, key);
  }
  return kSuccess;
}

}  // namespace

Expected<std::string, Result> ExportRegistry(platform::RegistryStore& store,
                                             std::u16string_view keyPath) {
  std::string out = "Windows Registry Editor Version 5.00\n\n";
  if (keyPath.empty()) {
    for (const auto& [root, name] : kRoots) {
      if (Result result = AppendRoot(out, store, root, u""); result != kSuccess) {
        return Unexpected{result};
      }
    }
    return out;
  }
  // A root named alone ("HKLM") is the root with everything below it.
  std::u16string name(keyPath);
  if (name.back() != u'\\' && name.find(u'\\') == std::u16string::npos) name.push_back(u'\\');
  const char16_t* position = name.c_str();
  const auto root = MatchRootKey(&position);
  if (!root) return Unexpected{kEInvalidArg};
  if (Result result = AppendRoot(out, store, *root, position); result != kSuccess) {
    return Unexpected{result};
  }
  return out;
}

}  // namespace varnisk::registry
