#pragma once
// The texts that describe the program: --help, and the help page on the device. Both
// list the commands from the keyword table.

#include <string>

namespace varnisk {

std::string UsageText();
std::string HelpPage();

}  // namespace varnisk
