// LINK on any argument, on a fake device.

#include "engine/testing/fake_app.h"
#include "files/shortcut.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  std::u16string argument = fuzz::FuzzText(data, size);
  files::WriteShortcut(fake.app, argument.data());
  return 0;
}
