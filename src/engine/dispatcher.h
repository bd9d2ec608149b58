#pragma once
// The command dispatcher: recognises a line's keyword in the KeywordTable and runs its
// command; a line without a keyword goes to the default command, which acts on the
// files it names.

#include <span>
#include <string_view>

#include "engine/app_state.h"
#include "engine/script_runner.h"

namespace varnisk::engine {

// What a command operation receives. Commands may write terminators into line and args,
// which lie in the run's line buffer.
struct Command {
  AppState& app;
  ScriptContext& context;
  char16_t* line;  // the line from its keyword on
  char16_t* args;  // the argument text; the first argument of two-argument commands
  char16_t* rest;  // the second argument of two-argument commands, else nullptr
};

using CommandOperation = Result (*)(Command& command);

struct Keyword {
  std::u16string_view name;   // four upper-case letters
  CommandOperation run;
  bool twoArguments;          // split at the first kArgSep by the dispatcher
  std::string_view synopsis;  // one line for --help and the help page
};

// The 29 keywords in dispatch order.
std::span<const Keyword> KeywordTable();

// Runs line (writable, starting with the keyword; no blanks are passed over) and returns
// its result.
Result DispatchCommand(AppState& app, char16_t* line, ScriptContext& context);

}  // namespace varnisk::engine
