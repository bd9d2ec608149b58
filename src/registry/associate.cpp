#include "registry/associate.h"

#include <string>

#include "engine/entry.h"
#include "registry/reg_command.h"

namespace varnisk::registry {
namespace {

constexpr std::u16string_view kClass = u"Varnisk";

}  // namespace

Result AssociateFiles(engine::AppState& app, std::u16string_view argument) {
  platform::RegistryStore& store = *app.platform.registry;
  constexpr auto kRoot = platform::RootKey::kClassesRoot;
  if (!argument.empty() && argument.front() == u'!') {
    const std::u16string_view name = argument.size() > 1 ? argument.substr(1) : kClass;
    return store.DeleteKey(kRoot, name);
  }
  if (!argument.empty()) {
    const platform::KeyHandle extension = CreateRegKey(store, kRoot, argument);
    WriteRegString(store, extension, u"", kClass);
    CloseRegKey(store, extension);
  }
  const std::u16string program(engine::kModulePath);
  const platform::KeyHandle classKey = CreateRegKey(store, kRoot, kClass);
  WriteRegString(store, classKey, u"", kClass);
  const platform::KeyHandle icon = CreateRegKey(store, kRoot, u"Varnisk\\DefaultIcon");
  WriteRegString(store, icon, u"", program + u",-101");
  const platform::KeyHandle command = CreateRegKey(store, kRoot, u"Varnisk\\Shell\\Open\\Command");
  WriteRegString(store, command, u"", u"\"" + program + u"\" %1");
  CloseRegKey(store, command);
  CloseRegKey(store, icon);
  CloseRegKey(store, classKey);
  return kSuccess;
}

}  // namespace varnisk::registry
