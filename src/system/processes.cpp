#include "system/processes.h"

#include <optional>

#include "engine/text.h"

namespace varnisk::system {

Result KillCommand(engine::AppState& app, char16_t* argument) {
  platform::DeviceShell& shell = *app.platform.shell;
  auto processes = shell.ListProcesses();
  if (!processes) return 1;
  const size_t length = engine::TextLength(argument);
  bool ended = false;
  std::optional<platform::ProcessEntry> thisProgram;
  for (const platform::ProcessEntry& process : *processes) {
    if (engine::PrefixLengthNoCase(argument, process.exeFile) != length) continue;
    // Ending this program ends the command, so it comes after every other process.
    if (process.thisProgram) {
      thisProgram = process;
      continue;
    }
    ended = shell.EndProcess(process) == kSuccess || ended;
  }
  if (thisProgram) ended = shell.EndProcess(*thisProgram) == kSuccess || ended;
  return ended ? 0 : 1;
}

}  // namespace varnisk::system
