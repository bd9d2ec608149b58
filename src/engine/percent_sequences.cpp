#include "engine/percent_sequences.h"

#include <cstdio>
#include <string>

#include "engine/script_runner.h"
#include "engine/text.h"

namespace varnisk::engine {
namespace {

using platform::SpecialFolder;

std::u16string Widen(const char* ascii) {
  std::u16string out;
  for (; *ascii != 0; ++ascii) out.push_back(static_cast<char16_t>(*ascii));
  return out;
}

std::u16string Format(const char* format, auto... values) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return Widen(buffer);
}

// The special folder's path, created first (with the folders above it) when missing.
std::u16string SpecialFolderText(AppState& app, SpecialFolder folder) {
  const std::u16string_view path = platform::SpecialFolderPath(folder);
  platform::FileSystem& files = *app.platform.files;
  if (!files.GetAttributes(path)) {
    for (size_t at = path.find(u'\\', 1); ; at = path.find(u'\\', at + 1)) {
      files.CreateFolder(path.substr(0, at));
      if (at == std::u16string_view::npos) break;
    }
  }
  return std::u16string(path);
}

bool FolderFor(char16_t c, SpecialFolder* folder) {
  switch (c) {
    case u'A': *folder = SpecialFolder::kApplicationData; return true;
    case u'F': *folder = SpecialFolder::kProgramFiles; return true;
    case u'M': *folder = SpecialFolder::kStartMenu; return true;
    case u'P': *folder = SpecialFolder::kPrograms; return true;
    case u'S': *folder = SpecialFolder::kStartUp; return true;
    case u'V': *folder = SpecialFolder::kFavorites; return true;
    case u'W': *folder = SpecialFolder::kWindows; return true;
    case u'Y': *folder = SpecialFolder::kPersonal; return true;
    default: return false;
  }
}

size_t Put(std::u16string_view text, char16_t* out, size_t capacity) {
  const size_t n = text.size() < capacity ? text.size() : capacity;
  for (size_t i = 0; i < n; ++i) out[i] = text[i];
  return n;
}

}  // namespace

std::u16string FormatShortDate(const platform::LocalTime& time) {
  return Format("%d/%d/%d", time.year, time.month, time.day);
}

std::u16string FormatShortTime(const platform::LocalTime& time) {
  return Format("%d:%02d:%02d", time.hour, time.minute, time.second);
}

size_t ExpandPercent(AppState& app, const ScriptContext& context, char16_t c, char16_t* out,
                     size_t capacity) {
  if (c >= u'0' && c <= u'9') {
    return Put(TextView(app.variables[c - u'0'].data()), out, capacity);
  }
  SpecialFolder folder;
  if (FolderFor(c, &folder)) return Put(SpecialFolderText(app, folder), out, capacity);
  const std::u16string_view base = TextView(context.basePath);
  switch (c) {
    case u'C': {
      const size_t slash = base.rfind(u'\\');
      return slash == std::u16string_view::npos ? 0 : Put(base.substr(0, slash), out, capacity);
    }
    case u'E': return Put(base, out, capacity);
    case u'D': return Put(FormatShortDate(app.platform.clock->Now()), out, capacity);
    case u'T': return Put(FormatShortTime(app.platform.clock->Now()), out, capacity);
    case u'N': return Put(u"\n", out, capacity);
    case u'R': return Put(u"\r", out, capacity);
    case u'X':
      return Put(context.lastResult == 0 ? std::u16string(u"0")
                                         : Format("0X%X", context.lastResult),
                 out, capacity);
    case u'x': return Put(Format("%d", static_cast<int32_t>(context.lastResult)), out, capacity);
    default: return Put(std::u16string_view(&c, 1), out, capacity);
  }
}

}  // namespace varnisk::engine
