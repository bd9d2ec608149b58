#include "registry/load_file.h"

#include <string>

#include "engine/script_runner.h"
#include "registry/reg_import.h"
#include "registry/text_file.h"

namespace varnisk::registry {
namespace {

constexpr std::u16string_view kRegedit4 = u"REGEDIT4";
constexpr std::u16string_view kRegedit5 = u"Windows Registry Editor Version 5.00";

// Blanks, line breaks and everything from 0x7F up come before a file's first
// significant character: a stray mark or a title in another script is passed over.
bool IsLeadingFiller(char16_t c) {
  return c == u'\t' || c == u'\n' || c == u'\r' || c == u' ' || c >= 0x7F;
}

}  // namespace

Result RunLoadedText(engine::AppState& app, const std::u16string& text,
                     const char16_t* basePath) {
  const char16_t* start = text.c_str();
  while (*start != 0 && IsLeadingFiller(*start)) ++start;
  const std::u16string_view rest(start, text.size() - static_cast<size_t>(start - text.c_str()));
  if (*start == u'<') return app.platform.configManager->ProcessConfigXml(rest);
  // A header is followed by exactly one character that is passed over unread.
  for (std::u16string_view header : {kRegedit4, kRegedit5}) {
    if (PrefixLength(header, start) == header.size()) {
      const size_t skip = rest.size() > header.size() ? header.size() + 1 : header.size();
      return ImportRegText(app, start + skip, nullptr);
    }
  }
  return engine::RunScript(app, start, basePath);
}

Result LoadFile(engine::AppState& app, std::u16string_view path) {
  std::optional<std::u16string> text = LoadTextFile(app.platform, path);
  if (!text) return kErrorOpenFailed;
  // The path is the script's base path for as long as it runs.
  const std::u16string basePath(path);
  return RunLoadedText(app, *text, basePath.c_str());
}

}  // namespace varnisk::registry
