// The configuration manager on any document, against a fake device.

#include "fuzz_input.h"
#include "platform/fake_file_system.h"
#include "platform/fake_registry.h"
#include "platform/provisioning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  platform::FakeFileSystem files;
  platform::FakeRegistry registry;
  files.CreateFolder(u"\\Windows");
  files.WriteFile(u"\\Windows\\a.txt", "a");
  platform::ProvisioningManager manager(files, registry);
  manager.ProcessConfigXml(fuzz::FuzzText(data, size));
  return 0;
}
