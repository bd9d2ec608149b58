#include "registry/reg_import.h"

namespace varnisk::registry {

size_t PrefixLength(std::u16string_view first, const char16_t* second) {
  size_t n = 0;
  while (n < first.size() && first[n] != 0 && first[n] == second[n]) ++n;
  return n;
}

// The device registry is not there yet: a block is passed over as a whole line so the
// run goes on after it, and the result says the work was not done.
Result ImportRegText(engine::AppState&, const char16_t* text, const char16_t** stop) {
  if (stop != nullptr) {
    const char16_t* p = text;
    while (*p != 0 && *p != u'\n') ++p;
    *stop = *p == u'\n' ? p + 1 : p;
  }
  return kENotImpl;
}

}  // namespace varnisk::registry
