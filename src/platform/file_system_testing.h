#pragma once
// Helpers that the file-system tests share: answers printed as short strings.

#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace varnisk::platform {

// The error code of an answer, kSuccess when there is none.
template <typename T>
Result CodeOf(const Expected<T, Result>& answer) {
  return answer ? kSuccess : answer.error();
}

// The attributes by name ("readonly archive"), or "error N".
inline std::string AttributeNames(FileSystem& files, std::u16string_view path) {
  const auto attributes = files.GetAttributes(path);
  if (!attributes) return "error " + std::to_string(attributes.error());
  const std::pair<uint32_t, const char*> names[] = {{kAttributeReadOnly, "readonly"},
                                                    {kAttributeHidden, "hidden"},
                                                    {kAttributeDirectory, "directory"},
                                                    {kAttributeArchive, "archive"}};
  std::string out;
  for (const auto& [bit, name] : names) {
    if (*attributes & bit) out += (out.empty() ? "" : " ") + std::string(name);
  }
  return out;
}

}  // namespace varnisk::platform
