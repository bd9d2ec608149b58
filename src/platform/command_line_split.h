#pragma once
// A program on the device receives its command line as one text and splits it into
// arguments itself, by the platform's rules. The shell splits the same way when it hands
// a command line to a host process, and reads the program name of an association's open
// command by the rule the platform uses for program names.

#include <string>
#include <string_view>
#include <vector>

namespace varnisk::platform {

//   command line := { blank } [ argument { blank { blank } argument } ] { blank }
//   blank        := " " | TAB
// Inside an argument a double quote toggles quoting (quoted blanks are kept); 2n
// backslashes before a quote give n backslashes and the quote toggles, 2n+1 give n
// backslashes and a literal quote; any other backslash is literal. A pair of quotes
// alone ("") is an empty argument.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

// The program name at the start of a command line and the text after it (its leading
// blanks dropped). A name in quotes runs to the next quote, any other to the first blank;
// backslashes are never special in a program name, since it is a path.
struct ProgramAndParameters {
  std::u16string program;
  std::u16string_view parameters;
};
ProgramAndParameters SplitProgramName(std::u16string_view line);

// The argument written so that SplitCommandLine reads it back as one argument,
// unchanged: as it is when it holds no blank or quote and is not empty, else in quotes
// with the backslashes before a quote (or the closing quote) doubled.
std::u16string QuoteArgument(std::u16string_view argument);

}  // namespace varnisk::platform
