#include "platform/fake_shell.h"

#include "platform/utf.h"

namespace varnisk::platform {

Result FakeShell::Open(std::u16string_view path, std::u16string_view parameters, bool wait) {
  std::string call = "open " + Utf16ToUtf8(path);
  if (!parameters.empty()) call += " " + Utf16ToUtf8(parameters);
  if (wait) call += " wait";
  calls.push_back(std::move(call));
  return result;
}

}  // namespace varnisk::platform
