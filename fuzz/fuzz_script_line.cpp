// Line assembly, the line executor and the dispatcher on any text: every keyword, every
// %-sequence, blocks and flow control, on a fake device that holds a few files.

#include "engine/script_runner.h"
#include "engine/testing/fake_app.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  engine::FakeApp fake;
  fake.app.runsLeft = fuzz::kFuzzRuns;
  fake.device.files.CreateFolder(u"\\Windows");
  fake.device.files.WriteFile(u"\\a.vks", "EVAL 1=%1a\nCALL p\nENDP\nPROC p\nLOAD \\a.vks\nENDP p");
  fake.device.files.WriteFile(u"\\r.reg", "REGEDIT4\n[HKLM\\x]\n\"a\"=dword:1\n");
  fake.app.logTarget = &fake.log;
  const std::u16string text = fuzz::FuzzText(data, size);
  engine::RunScript(fake.app, text.c_str(), u"\\Windows\\Varnisk.exe");
  return 0;
}
