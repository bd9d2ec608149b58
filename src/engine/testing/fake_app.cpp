#include "engine/testing/fake_app.h"

#include "engine/entry.h"
#include "engine/script_runner.h"
#include "engine/text.h"
#include "platform/utf.h"

namespace varnisk::engine {

FakeApp::FakeApp() {
  app.platform = device.View();
  app.ui = &ui;
}

Result FakeApp::Run(std::string_view script) {
  const std::u16string text = platform::Utf8ToUtf16(script);
  const std::u16string basePath(kModulePath);
  return RunScript(app, text.c_str(), basePath.c_str());
}

std::string FakeApp::RunLogged(std::string_view script) {
  app.logTarget = &log;
  Run(script);
  app.logTarget = nullptr;
  std::string text = platform::Utf16ToUtf8(log.text);
  log.text.clear();
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::string FakeApp::Variable(int slot) const {
  return platform::Utf16ToUtf8(TextView(app.variables[slot].data()));
}

void FakeApp::SetVariable(int slot, std::u16string_view text) {
  VariableSlot& target = app.variables[slot];
  target.fill(0);
  for (size_t i = 0; i < text.size() && i < kMaxPath - 1; ++i) target[i] = text[i];
}

}  // namespace varnisk::engine
