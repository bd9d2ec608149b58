#include "files/library_call.h"

#include <array>

#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/libraries.h"

namespace varnisk::files {
namespace {

constexpr std::u16string_view kDefaultFunction = u"DllRegisterServer";

// Calls function with the call's arguments as machine words, in the platform's
// convention for exported functions: a number as its value, a text as the address of
// its terminated UTF-16 units. The function answers 32 bits.
uint32_t Invoke(platform::LibraryFunction function, const LibraryCall& call) {
  using Word = uintptr_t;
  std::array<Word, kMaxCallArguments> w{};
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    const CallArgument& argument = call.arguments[i];
    w[i] = argument.isNumber ? Word{argument.number}
                             : reinterpret_cast<Word>(argument.text.c_str());
  }
  switch (call.arguments.size()) {
    case 0:
      return reinterpret_cast<uint32_t (*)()>(function)();
    case 1:
      return reinterpret_cast<uint32_t (*)(Word)>(function)(w[0]);
    case 2:
      return reinterpret_cast<uint32_t (*)(Word, Word)>(function)(w[0], w[1]);
    case 3:
      return reinterpret_cast<uint32_t (*)(Word, Word, Word)>(function)(w[0], w[1], w[2]);
    default:
      return reinterpret_cast<uint32_t (*)(Word, Word, Word, Word)>(function)(w[0], w[1], w[2],
                                                                               w[3]);
  }
}

}  // namespace

LibraryCall ParseLibraryCall(std::u16string_view callText) {
  LibraryCall call;
  if (callText.empty()) {
    call.function = kDefaultFunction;
    return call;
  }
  size_t separator = callText.find(engine::kArgSep);
  call.function = callText.substr(0, separator);
  while (separator != std::u16string_view::npos && call.arguments.size() < kMaxCallArguments) {
    const size_t start = separator + 1;
    const bool last = call.arguments.size() + 1 == kMaxCallArguments;
    separator = last ? std::u16string_view::npos : callText.find(engine::kArgSep, start);
    const std::u16string_view text = separator == std::u16string_view::npos
                                         ? callText.substr(start)
                                         : callText.substr(start, separator - start);
    CallArgument& argument = call.arguments.emplace_back();
    if (text.starts_with(u'#')) {
      argument.isNumber = true;
      const std::u16string number(text.substr(1));  // ParseNumber reads a terminated text
      argument.number = static_cast<uint32_t>(engine::ParseNumber(number.c_str()));
    } else {
      argument.text = text;
    }
  }
  return call;
}

Result CallDllFunction(engine::AppState& app, std::u16string_view library,
                       std::u16string_view callText) {
  const LibraryCall call = ParseLibraryCall(callText);
  platform::Libraries& libraries = *app.platform.libraries;
  auto loaded = libraries.LoadLibrary(library);
  if (!loaded) return kENoInterface;
  const platform::LibraryFunction function = libraries.FindFunction(*loaded, call.function);
  const Result result = function != nullptr ? Invoke(function, call) : kENoInterface;
  libraries.FreeLibrary(*loaded);
  return result;
}

}  // namespace varnisk::files
