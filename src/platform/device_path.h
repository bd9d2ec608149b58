#pragma once
// The names of a device path: "\" (or "/") between names, every path taken from the
// root (the device has no current folder), "." passed over and ".." dropping the name
// before it but never leaving the root.

#include <string>
#include <string_view>
#include <vector>

#include "platform/expected.h"
#include "platform/result.h"

namespace varnisk::platform {

//   device path := ["\" | "/"] name { ("\" | "/") name }
// kErrorInvalidName for a name holding a character the device refuses in names (a
// control character, which would also cut or bend a host path, or one of <>:"|?*).
Expected<std::vector<std::u16string>, Result> SplitDevicePath(std::u16string_view path);

}  // namespace varnisk::platform
