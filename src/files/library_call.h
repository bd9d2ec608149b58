#pragma once
// CDLL and the default command's library row: calls one exported function of a library
// with up to four arguments; the function's return value is the result.
//
//   call text := [function] { ArgSep argument }
//   argument  := "#" number | text
//
// An empty call text calls "DllRegisterServer" without arguments; an empty function name
// is looked up as it is. At most four arguments are taken and the fourth runs to the end
// of the call text, further separators included. A number (ParseNumber after the "#")
// is passed as its 32-bit value; any other argument as a pointer to its UTF-16 text with
// terminator.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/app_state.h"

namespace varnisk::files {

constexpr size_t kMaxCallArguments = 4;

struct CallArgument {
  bool isNumber = false;
  uint32_t number = 0;  // the value of a "#" argument
  std::u16string text;  // any other argument's text
};

// A call text taken apart.
struct LibraryCall {
  std::u16string function;
  std::vector<CallArgument> arguments;  // 0 to kMaxCallArguments
};

// The call text's function and arguments; the text is read and left as it is.
LibraryCall ParseLibraryCall(std::u16string_view callText);

// Loads the library at the device path, calls the function the call text names and
// releases the library again. kENoInterface when the library cannot be loaded or does
// not export the function.
Result CallDllFunction(engine::AppState& app, std::u16string_view library,
                       std::u16string_view callText);

}  // namespace varnisk::files
