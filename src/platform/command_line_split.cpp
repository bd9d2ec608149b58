#include "platform/command_line_split.h"

namespace varnisk::platform {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  bool inArgument = false;  // a quote alone starts an (empty) argument too
  bool quoted = false;
  size_t i = 0;
  while (i < line.size()) {
    const char16_t c = line[i];
    if (IsBlank(c) && !quoted) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == u'\\') {
      size_t run = 0;
      while (i + run < line.size() && line[i + run] == u'\\') ++run;
      i += run;
      if (i < line.size() && line[i] == u'"') {
        current.append(run / 2, u'\\');
        if (run % 2 == 1) {
          current += u'"';
          ++i;
        }
        // With an even run the quote is read on the next turn, as a toggle.
      } else {
        current.append(run, u'\\');
      }
    } else if (c == u'"') {
      quoted = !quoted;
      ++i;
    } else {
      current += c;
      ++i;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

ProgramAndParameters SplitProgramName(std::u16string_view line) {
  size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  ProgramAndParameters out;
  size_t end;
  if (start < line.size() && line[start] == u'"') {
    const size_t close = line.find(u'"', start + 1);
    end = close == std::u16string_view::npos ? line.size() : close;
    out.program = line.substr(start + 1, end - start - 1);
    if (end < line.size()) ++end;  // past the closing quote
  } else {
    end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    out.program = line.substr(start, end - start);
  }
  while (end < line.size() && IsBlank(line[end])) ++end;
  out.parameters = line.substr(end);
  return out;
}

std::u16string QuoteArgument(std::u16string_view argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
    return std::u16string(argument);
  }
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are doubled and the quote itself escaped.
      if (c == u'"') out.append(backslashes + 1, u'\\');
      backslashes = 0;
    }
    out += c;
  }
  out.append(backslashes, u'\\');  // so that the closing quote stays a quote
  out += u'"';
  return out;
}

}  // namespace varnisk::platform
