// CDLL's call text on any text: parsed, then called in a library that does not load, so
// that nothing but the parser and the failure path runs.

#include "engine/testing/fake_app.h"
#include "files/library_call.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  static engine::FakeApp* fake = new engine::FakeApp();
  const std::u16string text = fuzz::FuzzText(data, size);
  const files::LibraryCall call = files::ParseLibraryCall(text);
  if (call.arguments.size() > files::kMaxCallArguments) __builtin_trap();
  files::CallDllFunction(fake->app, u"\\missing.dll", text);
  return 0;
}
