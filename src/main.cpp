// The program: parses its command line, opens the device and hands the script line to
// the script engine; the run's result becomes the exit status.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "engine/entry.h"
#include "help_text.h"
#include "platform/host_platform.h"
#include "platform/utf.h"
#include "registry/reg_export.h"
#include "resources/embedded_command.h"
#include "ui/none_ui.h"
#include "ui/tty_ui.h"
#include "ui/ui_mode.h"

namespace varnisk {
namespace {

// The program could not start a run.
constexpr int kSetupFailed = 255;

int Fail(const std::string& message) {
  std::fprintf(stderr, "varnisk: %s\n", message.c_str());
  return kSetupFailed;
}

int WriteEmbeddedCopy(const Options& options) {
  const std::u16string command = platform::Utf8ToUtf16(*options.embed);
  const std::string image = resources::EmbeddedFieldImageFor(command);
  if (image.empty()) return Fail("--embed takes at most 27 characters");
  auto written = platform::WriteProgramCopy(resources::EmbeddedFieldImage(), image, options.output);
  return written ? 0 : Fail(written.error());
}

// Opens the device the options name (with the card, when one is given).
Expected<std::unique_ptr<platform::HostDevice>, std::string> OpenDevice(const Options& options,
                                                                       const std::string& card) {
  platform::DeviceOptions deviceOptions;
  deviceOptions.deviceFolder = options.device.empty() ? platform::DefaultDeviceFolder() : options.device;
  deviceOptions.cardFolder = card;
  deviceOptions.ansiCodePage = options.codePage.value_or(936);
  deviceOptions.helpPage = HelpPage();
  // Copies of the program that the device shell starts see the device as this one does.
  std::vector<std::string>& passed = deviceOptions.programOptions;
  if (!card.empty()) passed.insert(passed.end(), {"--card", platform::AbsolutePath(card)});
  if (options.codePage) passed.insert(passed.end(), {"--codepage", std::to_string(*options.codePage)});
  passed.insert(passed.end(), {"--ui", options.ui, "--platform", options.platform});
  return platform::HostDevice::Open(deviceOptions);
}

int ExportRegistry(const Options& options) {
  auto device = OpenDevice(options, options.card);
  if (!device) return Fail(device.error());
  const std::u16string key = platform::Utf8ToUtf16(*options.regExport);
  auto text = registry::ExportRegistry(*(*device)->View().registry, key);
  if (!text) {
    return Fail(text.error() == kEInvalidArg ? "no registry key is named " + *options.regExport
                                             : "the registry has no key " + *options.regExport);
  }
  std::fwrite(text->data(), 1, text->size(), stdout);
  return 0;
}

// The user interface the options and the surroundings ask for.
Expected<std::unique_ptr<ui::UserInterface>, std::string> MakeUi(const Options& options) {
  auto mode = ui::ChooseUiMode(options.ui, ui::DetectUiSurroundings());
  if (!mode) return Unexpected(mode.error());
  if (*mode == ui::UiMode::kTty) return std::unique_ptr<ui::UserInterface>(new ui::TtyUi());
  return std::unique_ptr<ui::UserInterface>(new ui::NoneUi());
}

int Run(const Options& options) {
  auto userInterface = MakeUi(options);
  if (!userInterface) return Fail(userInterface.error());
  std::string line = ScriptLine(options);
  std::string card = options.card;
  // A single host file as the whole line runs from the storage card: its folder.
  if (card.empty()) {
    if (auto file = platform::ExistingHostFile(line)) {
      const size_t slash = file->rfind('/');
      card = slash == 0 ? "/" : file->substr(0, slash);
      line = "\\Storage Card\\" + file->substr(slash + 1);
    }
  }
  auto device = OpenDevice(options, card);
  if (!device) return Fail(device.error());
  if (options.codePage && !(*device)->SupportsCodePage(*options.codePage)) {
    return Fail("code page " + std::to_string(*options.codePage) + " is not supported");
  }
  std::unique_ptr<platform::HostLogFile> log;
  if (!options.log.empty()) {
    auto opened = platform::HostLogFile::Open(options.log);
    if (!opened) return Fail(opened.error());
    log = std::move(*opened);
  }

  engine::AppState app;
  app.platform = (*device)->View();
  app.ui = userInterface->get();
  app.platformFlags = *PlatformFlagsFor(options.platform);
  app.logTarget = log.get();
  const Result result = engine::RunEntry(app, platform::Utf8ToUtf16(line),
                                         resources::EmbeddedCommand());
  return engine::ExitStatus(result);
}

}  // namespace
}  // namespace varnisk

int main(int argc, char** argv) {
  using namespace varnisk;
  auto options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!options) {
    std::fprintf(stderr, "varnisk: %s\nTry 'varnisk --help'.\n", options.error().c_str());
    return kSetupFailed;
  }
  if (options->help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options->version) {
    std::puts("varnisk " VARNISK_VERSION);
    return 0;
  }
  if (options->embed) return WriteEmbeddedCopy(*options);
  if (options->regExport) return ExportRegistry(*options);
  return Run(*options);
}
