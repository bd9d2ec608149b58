#include "registry/reg_command.h"

#include <cstring>

#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/text_case.h"
#include "registry/reg_import.h"
#include "registry/registry_text.h"

namespace varnisk::registry {
namespace {

using platform::KeyHandle;
using platform::RegistryStore;

// Slot 0 takes at most this many bytes of a value read as text.
constexpr uint32_t kSlotBytes = engine::kMaxPath * sizeof(char16_t);

int32_t ParseNumberOf(std::u16string_view text) {
  const std::u16string terminated(text);
  return engine::ParseNumber(terminated.c_str());
}

// The parts of a REGX argument: root\key path\name[=value[?rest]].
struct RegArgument {
  platform::RootKey root;
  std::u16string_view keyPath;
  std::u16string_view name;
  bool hasValue = false;   // an "=" follows the path
  bool comparing = false;  // a "?" follows the "="
  std::u16string_view value;  // the value part, or the operand of a comparison
};

Expected<RegArgument, Result> ParseArgument(std::u16string_view argument) {
  const std::u16string terminated(argument);
  const char16_t* position = terminated.c_str();
  const auto root = MatchRootKey(&position);
  if (!root) return Unexpected{kEInvalidArg};
  const size_t prefix = static_cast<size_t>(position - terminated.c_str());
  RegArgument out{*root, {}, {}, false, false, {}};
  const size_t equals = argument.find(u'=');
  std::u16string_view path = argument.substr(0, equals);
  if (path.size() < prefix) return Unexpected{kEInvalidArg};  // an "=" inside the prefix
  path.remove_prefix(prefix);
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return Unexpected{kEInvalidArg};
  out.keyPath = path.substr(0, slash);
  out.name = path.substr(slash + 1);
  if (equals != std::u16string_view::npos) {
    out.hasValue = true;
    out.value = argument.substr(equals + 1);
    const size_t question = out.value.find(u'?');
    if (question != std::u16string_view::npos) {
      out.comparing = true;
      out.value = out.value.substr(0, question);
    }
  }
  return out;
}

Result Write(RegistryStore& store, const RegArgument& arg) {
  const KeyHandle key = CreateRegKey(store, arg.root, arg.keyPath);
  Result result;
  if (!arg.name.empty() && arg.name.front() == u'#') {
    const auto number = static_cast<uint32_t>(ParseNumberOf(arg.value));
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &number, 4);
    result = store.SetValue(key, arg.name.substr(1), platform::kRegDword, bytes);
  } else if (!arg.name.empty() && arg.name.front() == u'@') {
    result = store.SetValue(key, arg.name.substr(1), platform::kRegBinary, ParseByteList(arg.value));
  } else {
    result = WriteRegString(store, key, arg.name, arg.value);
  }
  CloseRegKey(store, key);
  return result;
}

// Reads the value into slot 0 as the store holds it; only the slot's first unit is
// emptied first. The slot keeps a terminator in its last unit whatever was read.
Result ReadIntoSlot(RegistryStore& store, KeyHandle key, std::u16string_view name,
                    engine::VariableSlot& slot) {
  slot[0] = 0;
  uint32_t size = 0;
  const Result result = store.QueryValue(key, name, nullptr, slot.data(), kSlotBytes, &size);
  slot[engine::kMaxPath - 1] = 0;
  return result;
}

Result ReadOrDelete(engine::AppState& app, RegistryStore& store, const RegArgument& arg) {
  if (arg.name == u"-") return store.DeleteKey(arg.root, arg.keyPath);
  const KeyHandle key = OpenRegKey(store, arg.root, arg.keyPath);
  Result result;
  if (!arg.name.empty() && arg.name.front() == u'-') {
    result = store.DeleteValue(key, arg.name.substr(1));
  } else if (!arg.name.empty() && arg.name.front() == u'#') {
    result = ReadRegDword(store, key, arg.name.substr(1));
    if (arg.comparing) result = result == static_cast<uint32_t>(ParseNumberOf(arg.value)) ? 1 : 0;
  } else {
    engine::VariableSlot& slot = app.variables[0];
    result = ReadIntoSlot(store, key, arg.name, slot);
    if (arg.comparing) {
      result = platform::EqualsNoCase(engine::TextView(slot.data()), arg.value) ? 1 : 0;
    }
  }
  CloseRegKey(store, key);
  return result;
}

}  // namespace

KeyHandle CreateRegKey(RegistryStore& store, platform::RootKey root, std::u16string_view path) {
  auto key = store.CreateKey(root, path);
  return key ? *key : 0;
}

KeyHandle OpenRegKey(RegistryStore& store, platform::RootKey root, std::u16string_view path) {
  auto key = store.OpenKey(root, path);
  return key ? *key : 0;
}

void CloseRegKey(RegistryStore& store, KeyHandle key) {
  if (key != 0) store.CloseKey(key);
}

Result WriteRegString(RegistryStore& store, KeyHandle key, std::u16string_view name,
                      std::u16string_view text) {
  return store.SetValue(key, name, platform::kRegSz, StringBytes(text));
}

uint32_t ReadRegDword(RegistryStore& store, KeyHandle key, std::u16string_view name) {
  uint32_t number = 0;
  uint32_t size = 0;
  char bytes[4] = {};
  if (store.QueryValue(key, name, nullptr, bytes, sizeof bytes, &size) != kSuccess) return 0;
  std::memcpy(&number, bytes, sizeof number);
  return number;
}

Result RegCommand(engine::AppState& app, std::u16string_view argument) {
  auto arg = ParseArgument(argument);
  if (!arg) return arg.error();
  RegistryStore& store = *app.platform.registry;
  if (arg->hasValue && !arg->comparing) return Write(store, *arg);
  return ReadOrDelete(app, store, *arg);
}

}  // namespace varnisk::registry
