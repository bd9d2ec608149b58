#include "help_text.h"

#include "engine/dispatcher.h"

namespace varnisk {
namespace {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string UsageText() {
  std::string text =
      "Usage: varnisk [OPTIONS] [--] [SCRIPT LINE ...]\n"
      "Runs one script line (usually the path of a script file) on an emulated device.\n"
      "With no script line the program's embedded command runs (VKUI: the main window).\n"
      "\n"
      "Options:\n"
      "  --device DEV        the device folder (default $VARNISK_DEVICE, else\n"
      "                      $XDG_DATA_HOME/varnisk/device); made when missing\n"
      "  --card HOSTDIR      show a host folder as \\Storage Card\n"
      "  --ui MODE           auto, tty or none (gui is not available yet); auto picks\n"
      "                      tty when standard input and output are terminals\n"
      "  --log FILE          log every executed line and its result to FILE (- for stderr)\n"
      "  --codepage N        the device's ANSI code page (default 936)\n"
      "  --platform NAME     pocketpc (default), pocketpc4 or smartphone\n"
      "  --reg-export [KEY]  print the device registry, or KEY (HKLM\\Software\\X) with\n"
      "                      everything below it, as a registry script, and exit\n"
      "  --embed TEXT --output FILE\n"
      "                      write a copy of the program that runs TEXT when started\n"
      "                      without a script line (at most 27 characters)\n"
      "  --version, --help\n"
      "\n"
      "A single existing host file as the whole script line runs from \\Storage Card\n"
      "(its folder). Exit status: the result of the last line; 255 for results above 254\n"
      "or below 0, and when the program cannot start.\n"
      "\n"
      "Commands:\n";
  for (const engine::Keyword& keyword : engine::KeywordTable()) {
    text += "  ";
    text += keyword.synopsis;
    text += "\n";
  }
  text += "  path[,parameters]: act on the files a path matches, by their type\n";
  return text;
}

std::string HelpPage() {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Varnisk</title></head>\n"
      "<body>\n<h1>Varnisk</h1>\n<p>A command interpreter for the device. Each script line "
      "is a command named by a four-letter keyword, a comment (;), a block of registry "
      "lines ([) or of provisioning XML (&lt;), or a path.</p>\n<dl>\n";
  for (const engine::Keyword& keyword : engine::KeywordTable()) {
    const std::string_view synopsis = keyword.synopsis;
    const size_t colon = synopsis.find(": ");
    page += "<dt>" + EscapeHtml(synopsis.substr(0, colon)) + "</dt><dd>" +
            EscapeHtml(synopsis.substr(colon + 2)) + "</dd>\n";
  }
  page += "</dl>\n</body></html>\n";
  return page;
}

}  // namespace varnisk
