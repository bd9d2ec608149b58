// A file of any bytes through LOAD: the choice of encoding, the text, and the consumer it
// goes to (script, registry script or provisioning XML).

#include <string>

#include "engine/testing/fake_app.h"
#include "registry/load_file.h"
#include "registry/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  registry::DecodeTextFile(fake.device.codePages, bytes);
  fake.device.files.WriteFile(u"\\f.vks", bytes);
  registry::LoadFile(fake.app, u"\\f.vks");
  return 0;
}
