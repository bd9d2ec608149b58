// EvaluateCondition on any text.

#include "engine/numbers.h"
#include "engine/testing/fake_app.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  fake.device.files.CreateFolder(u"\\Windows");
  std::u16string text = fuzz::FuzzText(data, size);
  engine::EvaluateCondition(fake.app, text.data());
  engine::ParseNumber(text.c_str());
  return 0;
}
