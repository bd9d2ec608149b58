#pragma once
// The script runner: RunScript runs a script text line by line. Each line is assembled
// into the run's LineBuffer (commas become kArgSep, %-sequences expand) and handed to
// ExecuteLine, which passes over comments and empty lines, applies registry and XML
// blocks, and dispatches command lines, logging them while a log target exists.

#include <cstdint>

#include "engine/app_state.h"
#include "engine/script_text.h"

namespace varnisk::engine {

// Units of a run's line buffer, terminator included. A longer assembled line is cut at
// the buffer's end.
constexpr size_t kLineCapacity = 4096;

// The state of one run.
struct ScriptContext {
  ScriptText* script = nullptr;
  const char16_t* lineStart = nullptr;  // where the current line begins in the text
  const char16_t* cursor = nullptr;     // where assembly continues; End() ends the run
  const char16_t* basePath = nullptr;   // path of the file the script belongs to
  Result lastResult = kSuccess;
  bool elseFlag = false;  // the last IFEX condition was false
};

// Runs text (terminated; alive and unchanged for the run) with basePath (alive for the
// run) and returns the result of its last line. Past kMaxRunDepth nested runs (or when
// app.runsLeft is used up) the run is not started and the result is
// kErrorStackOverflow.
Result RunScript(AppState& app, const char16_t* text, const char16_t* basePath);

// Runs script from start: an inner run on a text that an outer run already holds.
Result RunScriptFrom(AppState& app, ScriptText& script, const char16_t* start,
                     const char16_t* basePath);

// Executes one assembled line (writable, in the run's buffer); the result is also left
// in context.lastResult.
Result ExecuteLine(AppState& app, char16_t* line, ScriptContext& context);

}  // namespace varnisk::engine
