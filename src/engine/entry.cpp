#include "engine/entry.h"

#include "engine/script_runner.h"

namespace varnisk::engine {

std::u16string_view StripQuotes(std::u16string_view text, char16_t quote) {
  if (text.empty() || text.front() != quote) return text;
  text.remove_prefix(1);
  if (!text.empty() && text.back() == quote) text.remove_suffix(1);
  return text;
}

Result RunEntry(AppState& app, std::u16string_view commandLine,
                std::u16string_view embeddedCommand) {
  // The text is copied so that it ends with its terminator; runs never write into it.
  const std::u16string text(commandLine.empty() ? embeddedCommand
                                                : StripQuotes(commandLine, u'"'));
  const std::u16string modulePath(kModulePath);
  return RunScript(app, text.c_str(), modulePath.c_str());
}

int ExitStatus(Result result) { return result <= 254 ? static_cast<int>(result) : 255; }

}  // namespace varnisk::engine
