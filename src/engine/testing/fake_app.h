#pragma once
// An AppState on a fake device, for the unit tests and fuzz targets of every layer:
// no windows, a recording log, and helpers that run script text.

#include <string>

#include "engine/app_state.h"
#include "platform/fake_platform.h"
#include "ui/none_ui.h"

namespace varnisk::engine {

class FakeApp {
 public:
  FakeApp();

  // Runs script (UTF-8 in the test's source) with base path "\Windows\Varnisk.exe".
  Result Run(std::string_view script);
  // The same with logging switched on; returns the log's text as UTF-8, with "\r\n"
  // written as "\n" for readable expectations.
  std::string RunLogged(std::string_view script);

  // A variable's text as UTF-8.
  std::string Variable(int slot) const;
  void SetVariable(int slot, std::u16string_view text);

  platform::FakePlatform device;
  ui::NoneUi ui;
  platform::RecordingLog log;
  AppState app;
};

}  // namespace varnisk::engine
