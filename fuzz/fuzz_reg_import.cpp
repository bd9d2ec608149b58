// The registry-script importer on any text, in file mode and in script mode.

#include "engine/testing/fake_app.h"
#include "fuzz_input.h"
#include "registry/reg_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  fake.app.runsLeft = fuzz::kFuzzRuns;
  const std::u16string text = fuzz::FuzzText(data, size);
  registry::ImportRegText(fake.app, text.c_str(), nullptr);
  const char16_t* stop = nullptr;
  registry::ImportRegText(fake.app, text.c_str(), &stop);
  if (stop < text.c_str() || stop > text.c_str() + text.size()) __builtin_trap();
  return 0;
}
