#pragma once
// The program's own command line: options first, then the words of one script line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/expected.h"

namespace varnisk {

struct Options {
  std::string device;     // empty: the default device
  std::string card;       // host folder shown as "\Storage Card"
  std::string ui = "auto";
  std::string log;        // empty: no log; "-": standard error
  std::optional<uint32_t> codePage;
  std::string platform = "pocketpc";
  std::optional<std::string> embed;
  std::optional<std::string> regExport;  // empty: the whole registry
  std::string output;
  bool version = false;
  bool help = false;
  std::vector<std::string> script;  // joined with single blanks into one script line
};

// Parses argv; a message naming the option and what was expected when it cannot.
Expected<Options, std::string> ParseCommandLine(const std::vector<std::string>& args);

// The script line of the arguments after the options.
std::string ScriptLine(const Options& options);

// PlatformFlags for a --platform name, or nullopt for an unknown name.
std::optional<uint32_t> PlatformFlagsFor(const std::string& name);

}  // namespace varnisk
