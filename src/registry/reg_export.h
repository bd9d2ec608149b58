#pragma once
// The registry as a registry script: what `--reg-export` prints. Importing the script
// into an empty device gives the same registry back.

#include <string>
#include <string_view>

#include "platform/expected.h"
#include "platform/platform.h"

namespace varnisk::registry {

// The whole registry, or the key named by keyPath ("HKLM\Software\X", or a root alone
// such as "HKLM") with everything below it, as UTF-8 text under the header
// "Windows Registry Editor Version 5.00". kEInvalidArg for a name without a known root,
// kErrorFileNotFound for a key that does not exist.
Expected<std::string, Result> ExportRegistry(platform::RegistryStore& store,
                                             std::u16string_view keyPath);

}  // namespace varnisk::registry
