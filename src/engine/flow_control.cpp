// Flow control works on the script text itself: every search goes forward from the
// line after the current one, and nothing ever jumps back.

#include "engine/commands.h"
#include "engine/numbers.h"
#include "engine/text.h"

namespace varnisk::engine {
namespace {

// The position after the next line feed at or after p, or the end of the text.
const char16_t* PastLineFeed(const char16_t* p) {
  while (*p != 0 && *p != u'\n') ++p;
  return *p == u'\n' ? p + 1 : p;
}

// CALL, GOTO and PROC rewrite their keyword into the one they look for (PROC or ENDP)
// and search the script for the whole line, trailing blanks included. Returns the start
// of the body after the line found, or nullptr.
const char16_t* FindBlockLine(Command& command, std::u16string_view keyword) {
  for (size_t i = 0; i < 4; ++i) command.line[i] = keyword[i];
  ScriptContext& context = command.context;
  const char16_t* found = context.script->Find(context.cursor, TextView(command.line));
  return found ? PastLineFeed(found + 4) : nullptr;
}

}  // namespace

// BATC: "cmd;cmd;..." — each piece is dispatched as it stands, the last one's result is
// the line's result.
Result Batch(Command& command) {
  char16_t* piece = command.args;
  for (;;) {
    char16_t* end = piece;
    while (*end != 0 && *end != u';') ++end;
    if (*end == 0) return DispatchCommand(command.app, piece, command.context);
    *end = 0;
    DispatchCommand(command.app, piece, command.context);
    piece = end + 1;
  }
}

// IFEX: "condition,command" runs the command when the condition holds; "condition"
// alone runs or skips the lines up to the closing line "IFEX". Both keep the previous
// line's result; the section form gives 0, or 1 when its closing line is missing.
Result IfExists(Command& command) {
  ScriptContext& context = command.context;
  if (*command.args == 0) return kSuccess;
  const Result previous = context.lastResult;
  char16_t* condition = command.args;
  char16_t* end = condition;
  while (*end != 0 && *end != kArgSep) ++end;
  if (*end == kArgSep) {
    *end = 0;
    context.elseFlag = !EvaluateCondition(command.app, condition);
    if (!context.elseFlag) DispatchCommand(command.app, end + 1, context);
    return previous;
  }
  context.elseFlag = !EvaluateCondition(command.app, condition);
  if (!context.elseFlag) return kSuccess;
  const char16_t* close = context.script->Find(context.cursor, u"IFEX\r\n");
  if (close != nullptr) {
    context.cursor = close + 6;
    return kSuccess;
  }
  close = context.script->Find(context.cursor, u"IFEX\n");
  if (close != nullptr) {
    context.cursor = close + 5;
    return kSuccess;
  }
  context.cursor = context.script->End();
  return 1;
}

// ELSE: runs its command when the last IFEX condition was false; keeps the previous
// line's result.
Result Else(Command& command) {
  const Result previous = command.context.lastResult;
  if (command.context.elseFlag) DispatchCommand(command.app, command.args, command.context);
  return previous;
}

// CALL name: runs the procedure as an inner run; the caller goes on after the CALL line.
Result Call(Command& command) {
  const char16_t* body = FindBlockLine(command, u"PROC");
  if (body == nullptr) return 1;
  ScriptContext& context = command.context;
  return RunScriptFrom(command.app, *context.script, body, context.basePath);
}

// GOTO name: the run goes on inside the procedure and ends at its ENDP.
Result GoTo(Command& command) {
  const char16_t* body = FindBlockLine(command, u"PROC");
  if (body == nullptr) return 1;
  command.context.cursor = body;
  return kSuccess;
}

// PROC name met in the flow: the procedure is skipped up to the line after ENDP name.
Result Procedure(Command& command) {
  const char16_t* body = FindBlockLine(command, u"ENDP");
  if (body == nullptr) {
    command.context.cursor = command.context.script->End();
    return 1;
  }
  command.context.cursor = body;
  return kSuccess;
}

// ENDP: ends the run it is met in.
Result EndProcedure(Command& command) {
  command.context.cursor = command.context.script->End();
  return kSuccess;
}

}  // namespace varnisk::engine
