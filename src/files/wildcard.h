#pragma once
// The program's own matcher for "*" and "?", used where a whole folder tree is walked,
// and the split of a search path into its folder and its name pattern.

#include <string_view>

namespace varnisk::files {

// Whether name matches pattern: "*" any run of units, "?" any one unit, every other
// unit only itself, compared exactly (case matters). Only the last "*" seen is retried.
bool WildcardMatch(std::u16string_view name, std::u16string_view pattern);

// The folder and the name pattern of a search path: split at its last "\" (a path
// without one searches the root: its folder is empty).
struct SearchPath {
  std::u16string_view folder;
  std::u16string_view pattern;
};
SearchPath SplitSearchPath(std::u16string_view path);

}  // namespace varnisk::files
