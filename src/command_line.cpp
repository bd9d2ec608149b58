#include "command_line.h"

#include <cstdlib>

#include "engine/app_state.h"

namespace varnisk {
namespace {

// Options that take a value, and where the value goes.
struct ValueOption {
  const char* name;
  std::string Options::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"--device", &Options::device},     {"--card", &Options::card},
    {"--ui", &Options::ui},             {"--log", &Options::log},
    {"--platform", &Options::platform}, {"--output", &Options::output},
};

Expected<uint32_t, std::string> ParseCodePage(const std::string& text) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || value == 0 || value > 65535) {
    return Unexpected("--codepage needs a code page number, not '" + text + "'");
  }
  return static_cast<uint32_t>(value);
}

Expected<void, std::string> Check(const Options& options) {
  if (!PlatformFlagsFor(options.platform)) {
    return Unexpected("--platform must be pocketpc, pocketpc4 or smartphone, not '" +
                           options.platform + "'");
  }
  const std::string& ui = options.ui;
  if (ui != "auto" && ui != "gui" && ui != "tty" && ui != "none") {
    return Unexpected("--ui must be auto, gui, tty or none, not '" + ui + "'");
  }
  if (options.embed.has_value() != !options.output.empty()) {
    return Unexpected("--embed TEXT and --output FILE go together");
  }
  return {};
}

}  // namespace

Expected<Options, std::string> ParseCommandLine(const std::vector<std::string>& args) {
  Options options;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) break;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? options.help : options.version) = true;
      continue;
    }
    // --reg-export takes a key when one follows (a word that is no option).
    if (arg == "--reg-export") {
      options.regExport = inlineValue.value_or("");
      if (!inlineValue && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        options.regExport = args[++i];
      }
      continue;
    }
    auto value = [&]() -> Expected<std::string, std::string> {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) return Unexpected(arg + " needs a value");
      return args[++i];
    };
    bool known = false;
    for (const ValueOption& option : kValueOptions) {
      if (arg != option.name) continue;
      auto v = value();
      if (!v) return Unexpected(v.error());
      options.*option.field = *v;
      known = true;
    }
    if (arg == "--codepage" || arg == "--embed") {
      auto v = value();
      if (!v) return Unexpected(v.error());
      if (arg == "--embed") {
        options.embed = *v;
      } else {
        auto codePage = ParseCodePage(*v);
        if (!codePage) return Unexpected(codePage.error());
        options.codePage = *codePage;
      }
      known = true;
    }
    if (!known) return Unexpected("unknown option " + arg);
  }
  options.script.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (auto checked = Check(options); !checked) return Unexpected(checked.error());
  return options;
}

std::string ScriptLine(const Options& options) {
  std::string line;
  for (const std::string& word : options.script) {
    if (!line.empty()) line.push_back(' ');
    line += word;
  }
  return line;
}

std::optional<uint32_t> PlatformFlagsFor(const std::string& name) {
  if (name == "pocketpc") return engine::kPlatformPocketPc | engine::kPlatformVersion5;
  if (name == "pocketpc4") return engine::kPlatformPocketPc;
  if (name == "smartphone") return 0u;
  return std::nullopt;
}

}  // namespace varnisk
