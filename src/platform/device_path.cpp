#include "platform/device_path.h"

namespace varnisk::platform {
namespace {

bool IsValidName(std::u16string_view name) {
  for (char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  return true;
}

}  // namespace

Expected<std::vector<std::u16string>, Result> SplitDevicePath(std::u16string_view path) {
  std::vector<std::u16string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != u".") {
      if (!IsValidName(name)) return Unexpected{kErrorInvalidName};
      names.emplace_back(name);
    }
    start = end + 1;
  }
  return names;
}

}  // namespace varnisk::platform
