#pragma once
// A fake device for unit tests: in-memory files and registry, a shell that starts
// nothing, recording power, sound, keys, display and windows, a clock that stands still,
// code pages that know only ASCII and UTF-8, libraries the test defines, and a
// configuration manager and log that record what they were given.

#include <string>
#include <vector>

#include "platform/fake_devices.h"
#include "platform/fake_file_system.h"
#include "platform/fake_libraries.h"
#include "platform/fake_registry.h"
#include "platform/fake_shell.h"
#include "platform/platform.h"

namespace varnisk::platform {

// Stands still; a pause only adds to slept.
class FakeClock : public Clock {
 public:
  LocalTime Now() override { return now; }
  void Sleep(uint32_t milliseconds) override { slept.push_back(milliseconds); }
  LocalTime now{2026, 12, 11, 5, 9, 5, 7, 0};
  std::vector<uint32_t> slept;
};

// ASCII and UTF-8 as the host converts them; any other byte of another code page
// becomes U+FFFD, and any other character "?".
class FakeCodePages : public CodePages {
 public:
  uint32_t AnsiCodePage() const override { return 936; }
  std::u16string ToUtf16(uint32_t codePage, std::string_view bytes) override;
  std::string FromUtf16(uint32_t codePage, std::u16string_view text) override;
};

class FakeConfigManager : public ConfigManager {
 public:
  Result ProcessConfigXml(std::u16string_view document) override {
    documents.emplace_back(document);
    return result;
  }
  std::vector<std::u16string> documents;
  Result result = kSuccess;
};

class RecordingLog : public LogSink {
 public:
  void AppendLog(std::u16string_view text) override { this->text.append(text); }
  std::u16string text;
};

struct FakePlatform {
  FakeFileSystem files;
  FakeClock clock;
  FakeCodePages codePages;
  FakeConfigManager configManager;
  FakeRegistry registry;
  FakeShell shell;
  FakePower power;
  FakeSound sound;
  FakeKeyboard keyboard;
  FakeDisplay display;
  FakeWindows windows;
  FakeLibraries libraries{files};

  Platform View() {
    return Platform{&files,  &clock,  &codePages, &configManager, &registry, &shell,
                    &power,  &sound,  &keyboard,  &display,       &windows,  &libraries};
  }
};

}  // namespace varnisk::platform
