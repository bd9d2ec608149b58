// A file of any bytes through LOAD: the choice of encoding, the text, and the consumer it
// goes to (script, registry script or provisioning XML). The text runs on a device that
// does not hold the file itself: a script that loads itself twice would otherwise run
// 2^64 nested scripts, which is the script's meaning, not a fault of the reader.

#include <string>

#include "engine/testing/fake_app.h"
#include "fuzz_input.h"
#include "registry/load_file.h"
#include "registry/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  platform::FakePlatform reader;
  reader.files.WriteFile(u"\\f.vks", bytes);
  const auto text = registry::LoadTextFile(reader.View(), u"\\f.vks");
  if (!text) __builtin_trap();
  engine::FakeApp fake;
  fake.app.runsLeft = fuzz::kFuzzRuns;
  registry::RunLoadedText(fake.app, *text, u"\\f.vks");
  return 0;
}
