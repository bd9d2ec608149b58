#pragma once
// A device shell for the layers' unit tests: starts nothing, records what it was asked to
// open and answers with a result the test chooses.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace varnisk::platform {

class FakeShell : public DeviceShell {
 public:
  // Records "open PATH[ PARAMETERS][ wait]" (UTF-8, as the caller wrote them) and
  // answers result.
  Result Open(std::u16string_view path, std::u16string_view parameters, bool wait) override;

  std::vector<std::string> calls;
  Result result = kSuccess;
};

}  // namespace varnisk::platform
