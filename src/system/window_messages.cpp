#include "system/window_messages.h"

#include "engine/numbers.h"
#include "system/arguments.h"

namespace varnisk::system {
namespace {

// field: marker character, then the value; nullptr or empty for a parameter not given.
platform::MessageParameter Parameter(const char16_t* field) {
  platform::MessageParameter parameter;
  if (field == nullptr || field[0] == 0) return parameter;
  const char16_t* value = field + 1;
  if (field[0] == u'$') {
    parameter.isText = true;
    parameter.text = engine::TextView(value);
    parameter.value = reinterpret_cast<uintptr_t>(value);
  } else {
    parameter.value = static_cast<uint32_t>(engine::ParseNumber(value));
  }
  return parameter;
}

}  // namespace

Result PostCommand(engine::AppState& app, char16_t* argument) {
  char16_t* window = argument;
  const bool send = *window == u'=';
  if (send) ++window;
  char16_t* messageField = CutAtArgSep(window);
  if (messageField == nullptr) return kEInvalidArg;
  char16_t* firstField = CutAtArgSep(messageField);
  char16_t* secondField = firstField == nullptr ? nullptr : CutAtArgSep(firstField);
  if (secondField != nullptr) CutAtArgSep(secondField);  // what follows is not read

  platform::WindowManager& windows = *app.platform.windows;
  const platform::WindowHandle target =
      window[0] == u'$' ? platform::kBroadcastWindow : windows.FindWindow(engine::TextView(window));
  // A class that no window has: there is nobody to send to, and nothing is sent.
  if (target == 0) return 0;
  const auto message = static_cast<uint32_t>(engine::ParseNumber(messageField));
  const platform::MessageParameter first = Parameter(firstField);
  const platform::MessageParameter second = Parameter(secondField);
  const uint64_t value = send ? windows.SendMessage(target, message, first, second)
                              : windows.PostMessage(target, message, first, second);
  return static_cast<Result>(value);
}

}  // namespace varnisk::system
