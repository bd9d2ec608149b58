#include "files/enumeration.h"

namespace varnisk::files {

Result ForEachMatch(engine::AppState& app, Visitor visitor, MatchRequest& request,
                    std::u16string_view folder, std::u16string_view pattern) {
  auto entries = app.platform.files->FindFiles(folder, pattern);
  if (!entries) return kErrorFileNotFound;
  Result result = kErrorFileNotFound;
  for (const platform::FindEntry& entry : *entries) {
    result = visitor(app, request, folder, entry);
    if (result == kEAbort) break;
  }
  return result;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  if (folder.size() + 1 + name.size() > kMaxPathUnits) return {};
  std::u16string path(folder);
  path.push_back(u'\\');
  path.append(name);
  return path;
}

}  // namespace varnisk::files
