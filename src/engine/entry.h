#pragma once
// The program's entry into the script engine: the command line is a one-line script,
// or, when it is empty, the command embedded in the program file.

#include <string>

#include "engine/app_state.h"

namespace varnisk::engine {

// The program's module path on the device: the base path of the top-level script.
inline constexpr std::u16string_view kModulePath = u"\\Windows\\Varnisk.exe";

// Removes one leading quote and, only together with it, one trailing quote.
std::u16string_view StripQuotes(std::u16string_view text, char16_t quote);

// Runs the command line (or embeddedCommand when it is empty) and returns the run's
// result.
Result RunEntry(AppState& app, std::u16string_view commandLine,
                std::u16string_view embeddedCommand);

// The process exit status for a run's result: 0 and 1 to 254 stay, every other value
// (negative ones, 255 and above) gives 255, so that no failure looks like success.
int ExitStatus(Result result);

}  // namespace varnisk::engine
