#pragma once
// The texts the log shows after a result's digits: one short line, ending with a line
// break, for each code the program produces, and none for the rest.

#include <string_view>

#include "platform/result.h"

namespace varnisk::platform {

// The text for code, or an empty text when the program has none for it.
std::u16string_view MessageText(Result code);

}  // namespace varnisk::platform
