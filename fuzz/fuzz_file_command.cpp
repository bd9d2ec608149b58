// FILE's parsing and its operations on any argument, on a fake device with a small tree.

#include "engine/testing/fake_app.h"
#include "files/file_command.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  fake.app.runsLeft = fuzz::kFuzzRuns;
  platform::FakeFileSystem& files = fake.device.files;
  files.CreateFolder(u"\\A");
  files.CreateFolder(u"\\A\\sub");
  files.WriteFile(u"\\A\\x.txt", "x");
  files.WriteFile(u"\\A\\sub\\y.txt", "y");
  std::u16string argument = fuzz::FuzzText(data, size);
  files::FileCommand(fake.app, argument.data());
  return 0;
}
