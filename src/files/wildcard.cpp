#include "files/wildcard.h"

namespace varnisk::files {

bool WildcardMatch(std::u16string_view name, std::u16string_view pattern) {
  size_t n = 0;
  size_t p = 0;
  bool starSeen = false;
  size_t retryPattern = 0;  // just after the last "*"
  size_t retryName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starSeen = true;
      retryPattern = p + 1;
      retryName = n;
      if (retryPattern == pattern.size()) return true;
      p = retryPattern;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else {
      if (!starSeen) return false;
      n = ++retryName;
      p = retryPattern;
    }
  }
  if (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

SearchPath SplitSearchPath(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return {u"", path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace varnisk::files
