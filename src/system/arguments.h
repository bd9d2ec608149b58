#pragma once
// Reading the argument text of the system commands.

#include "engine/text.h"

namespace varnisk::system {

// Cuts text at its first argument separator (writing a terminator there) and returns
// what follows it, or nullptr when text holds no separator: unlike SplitAtArgSep, an
// empty field after a separator can be told from no field at all.
inline char16_t* CutAtArgSep(char16_t* text) {
  for (char16_t* p = text; *p != 0; ++p) {
    if (*p == engine::kArgSep) {
      *p = 0;
      return p + 1;
    }
  }
  return nullptr;
}

}  // namespace varnisk::system
