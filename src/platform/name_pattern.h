#pragma once
// The device's wildcard names, shared by every file system behind the boundary so that a
// search and a wildcard deletion pick the same entries on the host and in the fake.

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/text_case.h"

namespace varnisk::platform {

inline bool HasWildcards(std::u16string_view name) {
  return name.find_first_of(u"*?") != std::u16string_view::npos;
}

// True when name matches pattern as the device's search matches it: "*" any run of
// units, "?" exactly one unit, every other unit equal without regard to case. A pattern
// ending in ".*" also matches names that end where its "." stands, so "*.*" matches every
// name and "ReadMe.*" matches "README" as well as "readme.txt".
inline bool MatchesNamePattern(std::u16string_view name, std::u16string_view pattern) {
  if (pattern.size() >= 2 && pattern.ends_with(u".*")) {
    const std::u16string_view stem = pattern.substr(0, pattern.size() - 2);
    if (MatchesNamePattern(name, stem)) return true;
  }
  // Greedy scan that remembers the last "*": on a mismatch that star takes one more unit.
  size_t n = 0, p = 0;
  size_t starPattern = std::u16string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || UpperCase(pattern[p]) == UpperCase(name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != std::u16string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// A path whose last name holds wildcards, taken apart: the folder path before that name
// and the name itself ("\A\*.txt" gives "\A\" and "*.txt"). nullopt when the last name
// holds none; separators after the last name are passed over.
struct WildcardPath {
  std::u16string_view folder;
  std::u16string_view pattern;
};

inline std::optional<WildcardPath> SplitWildcardPath(std::u16string_view path) {
  const size_t end = path.find_last_not_of(u"\\/");
  if (end == std::u16string_view::npos) return std::nullopt;
  const size_t separator = path.find_last_of(u"\\/", end);
  const size_t start = separator == std::u16string_view::npos ? 0 : separator + 1;
  const std::u16string_view last = path.substr(start, end + 1 - start);
  if (!HasWildcards(last)) return std::nullopt;
  return WildcardPath{path.substr(0, start), last};
}

// The order a search lists entries in: by name without regard to case, names that differ
// only in case by their units, so that the order never depends on the host.
inline void SortByName(std::vector<FindEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const FindEntry& a, const FindEntry& b) {
    const int order = CompareNoCase(a.name, b.name);
    return order != 0 ? order < 0 : a.name < b.name;
  });
}

}  // namespace varnisk::platform
