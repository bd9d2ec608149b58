#include "engine/script_runner.h"

#include <cstdio>

#include "engine/dispatcher.h"
#include "engine/percent_sequences.h"
#include "engine/text.h"
#include "platform/message_texts.h"
#include "registry/reg_import.h"

namespace varnisk::engine {
namespace {

// Counts a run as nested for as long as it lasts.
class RunDepthGuard {
 public:
  explicit RunDepthGuard(AppState& app) : app_(app) { ++app_.runDepth; }
  ~RunDepthGuard() { --app_.runDepth; }
  RunDepthGuard(const RunDepthGuard&) = delete;
  RunDepthGuard& operator=(const RunDepthGuard&) = delete;

 private:
  AppState& app_;
};

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// The units that plain assembly copies one by one: anything but the terminator, line
// breaks, "%" and ",".
bool IsPlain(char16_t c) { return c > u',' || (c != 0 && c != u'\r' && c != u'\n' && c != u'%' && c != u','); }

// The line "     %08X " and the message text for result, then one or two line breaks so
// that the entry ends with an empty line. The line holds 260 units with its terminator,
// so a message text longer than 241 units is left out.
std::u16string ResultLine(Result result) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "     %08X ", result);
  std::u16string line;
  for (const char* p = digits; *p != 0; ++p) line.push_back(static_cast<char16_t>(*p));
  const std::u16string_view text = platform::MessageText(result);
  if (text.size() <= kMaxPath - line.size() - 5) line.append(text);
  line.append(!line.empty() && line.back() == u'\n' ? u"\r\n" : u"\r\n\r\n");
  return line;
}

// A provisioning document written into the script: from the first line to the first
// "<>" after it (the rest of that line is passed over), or to the end of the text.
Result ApplyXmlBlock(AppState& app, ScriptContext& context) {
  const char16_t* end = context.script->Find(context.cursor, u"<>");
  const char16_t* documentEnd = end ? end : context.script->End();
  const std::u16string_view document(context.lineStart,
                                     static_cast<size_t>(documentEnd - context.lineStart));
  context.lastResult = app.platform.configManager->ProcessConfigXml(document);
  const char16_t* next = end ? end + 2 : context.script->End();
  while (*next != 0 && *next != u'\n') ++next;
  if (*next == u'\n') ++next;
  context.cursor = next;
  return context.lastResult;
}

// A line whose text in the script begins with "[" starts a registry block. A line that
// begins with "[" only through a %-sequence is no key line and runs as a command.
bool StartsRegistryBlock(const ScriptContext& context) {
  const char16_t* p = context.lineStart;
  while (*p == u' ' || *p == u'\t') ++p;
  return *p == u'[';
}

Result ExecuteCommandLine(AppState& app, char16_t* line, ScriptContext& context) {
  platform::LogSink* log = app.logTarget;
  if (log == nullptr) return context.lastResult = DispatchCommand(app, line, context);
  std::u16string entry(TextView(line));
  entry.append(u"\r\n");
  log->AppendLog(entry);
  context.lastResult = DispatchCommand(app, line, context);
  log->AppendLog(ResultLine(context.lastResult));
  return context.lastResult;
}

}  // namespace

Result ExecuteLine(AppState& app, char16_t* line, ScriptContext& context) {
  line = SkipBlanks(line);
  switch (*line) {
    case 0:
    case u';':
      return context.lastResult;
    case u'<':
      return ApplyXmlBlock(app, context);
    case u'[':
      if (StartsRegistryBlock(context)) {
        const char16_t* stop = nullptr;
        context.lastResult = registry::ImportRegText(app, context.lineStart, &stop);
        context.cursor = stop;
        return context.lastResult;
      }
      return ExecuteCommandLine(app, line, context);
    default:
      return ExecuteCommandLine(app, line, context);
  }
}

Result RunScriptFrom(AppState& app, ScriptText& script, const char16_t* start,
                     const char16_t* basePath) {
  if (app.runDepth >= kMaxRunDepth || app.runsLeft == 0) return kErrorStackOverflow;
  if (app.runsLeft > 0) --app.runsLeft;
  RunDepthGuard depth(app);
  ScriptContext context;
  context.script = &script;
  context.lineStart = context.cursor = start;
  context.basePath = basePath;

  char16_t buffer[kLineCapacity];
  constexpr size_t kLast = kLineCapacity - 1;  // room kept for the terminator
  size_t out = 0;
  for (;;) {
    const char16_t* p = context.cursor;
    while (IsPlain(*p)) {
      if (out < kLast) buffer[out++] = *p;
      ++p;
    }
    const char16_t c = *p;
    if (c == 0) {
      context.cursor = p;
      buffer[out] = 0;
      return ExecuteLine(app, buffer, context);
    }
    context.cursor = p + 1;
    if (IsLineBreak(c)) {
      buffer[out] = 0;
      ExecuteLine(app, buffer, context);
      context.lineStart = context.cursor;
      out = 0;
    } else if (c == u',') {
      if (out < kLast) buffer[out++] = kArgSep;
    } else {  // '%'
      const char16_t selector = *context.cursor;
      if (selector == 0) continue;  // a "%" at the very end inserts nothing
      ++context.cursor;
      if (selector == u'#') {
        // Four units give one unit; fewer before the end of the text give nothing.
        const char16_t* digits = context.cursor;
        int n = 0;
        while (n < 4 && digits[n] != 0) ++n;
        context.cursor += n;
        if (n == 4 && out < kLast) {
          buffer[out++] = static_cast<char16_t>(
              (HexDigitValue(digits[0]) * 16 + HexDigitValue(digits[1])) * 256 +
              HexDigitValue(digits[2]) * 16 + HexDigitValue(digits[3]));
        }
      } else {
        out += ExpandPercent(app, context, selector, buffer + out, kLast - out);
      }
    }
  }
}

Result RunScript(AppState& app, const char16_t* text, const char16_t* basePath) {
  ScriptText script(text);
  return RunScriptFrom(app, script, text, basePath);
}

}  // namespace varnisk::engine
