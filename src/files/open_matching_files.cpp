#include "files/open_matching_files.h"

#include "engine/text.h"
#include "files/library_call.h"
#include "files/rar_extract.h"
#include "files/tar_extract.h"
#include "files/wildcard.h"
#include "platform/text_case.h"
#include "registry/load_file.h"

namespace varnisk::files {
namespace {

enum class Action { kLoad, kLibrary, kRar, kTarGz, kShell };

struct ExtensionRow {
  std::u16string_view extension;
  Action action;
};

constexpr ExtensionRow kExtensionTable[] = {
    {u"vks", Action::kLoad},     {u"reg", Action::kLoad},  {u"rgu", Action::kLoad},
    {u"xml", Action::kLoad},     {u"provxml", Action::kLoad}, {u"dll", Action::kLibrary},
    {u"ocx", Action::kLibrary},  {u"ax", Action::kLibrary}, {u"rar", Action::kRar},
    {u"tgz", Action::kTarGz},
};

Action ActionFor(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return Action::kShell;
  const std::u16string_view extension = name.substr(dot + 1);
  for (const ExtensionRow& row : kExtensionTable) {
    if (platform::EqualsNoCase(extension, row.extension)) return row.action;
  }
  return Action::kShell;
}

}  // namespace

Result OpenByType(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                  const platform::FindEntry& entry) {
  const bool isFolder = entry.attributes & platform::kAttributeDirectory;
  if (isFolder && (entry.name.starts_with(u".") || !request.recursive)) return kErrorFileNotFound;
  if (!isFolder && request.recursive && !WildcardMatch(entry.name, request.pattern)) {
    return kErrorFileNotFound;
  }
  const std::u16string path = JoinPath(folder, entry.name);
  if (path.empty()) return kErrorFilenameExcedRange;
  if (isFolder) return ForEachMatch(app, OpenByType, request, path, u"*");
  switch (ActionFor(entry.name)) {
    case Action::kLoad:
      return registry::LoadFile(app, path);
    case Action::kTarGz:
      return ExtractTarGz(*app.platform.files, *app.platform.codePages, path, request.argument);
    case Action::kLibrary:
      return CallDllFunction(app, path, request.argument);
    case Action::kRar:
      return ExtractRar(app, path, request.argument);
    case Action::kShell:
      break;
  }
  // The shell's own answer: a file it cannot open is a failure, not a success.
  return app.platform.shell->Open(path, request.argument, false);
}

Result OpenMatchingFiles(engine::AppState& app, char16_t* line) {
  MatchRequest request;
  request.recursive = line[0] == u'!';
  char16_t* path = line + (request.recursive ? 1 : 0);
  request.argument = engine::TextView(engine::SplitAtArgSep(path));
  const SearchPath search = SplitSearchPath(engine::TextView(path));
  request.pattern = search.pattern;
  return ForEachMatch(app, OpenByType, request, search.folder,
                      request.recursive ? u"*" : search.pattern);
}

}  // namespace varnisk::files
