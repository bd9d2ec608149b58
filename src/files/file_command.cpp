#include "files/file_command.h"

#include <string>

#include "engine/text.h"
#include "files/enumeration.h"
#include "files/file_routines.h"
#include "files/wildcard.h"
#include "platform/device_path.h"
#include "platform/text_case.h"
#include "registry/registry_text.h"

namespace varnisk::files {
namespace {

// The ANSI text of "<" is converted into a buffer of this many bytes.
constexpr size_t kAnsiTextBytes = 1024;

bool IsFolder(const platform::FindEntry& entry) {
  return entry.attributes & platform::kAttributeDirectory;
}

// Whether two device paths name the same folder ("\A\", "\a" and "\B\..\A" do).
bool SameFolder(std::u16string_view a, std::u16string_view b) {
  const auto first = platform::SplitDevicePath(a);
  const auto second = platform::SplitDevicePath(b);
  if (!first || !second || first->size() != second->size()) return false;
  for (size_t i = 0; i < first->size(); ++i) {
    if (!platform::EqualsNoCase((*first)[i], (*second)[i])) return false;
  }
  return true;
}

// The copy's visitor: copies one file, or recreates and walks one folder.
Result CopyEntry(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                 const platform::FindEntry& entry) {
  if (IsFolder(entry) && (entry.name.starts_with(u".") || !request.recursive)) {
    return kErrorFileNotFound;
  }
  if (!IsFolder(entry) && request.recursive && !WildcardMatch(entry.name, request.pattern)) {
    return kErrorFileNotFound;
  }
  const std::u16string source = JoinPath(folder, entry.name);
  // A tree copied into a folder of its own: the copy is not copied again (it would grow
  // without end).
  if (IsFolder(entry) && SameFolder(source, request.copyTarget)) return kErrorFileNotFound;
  std::u16string destination = request.argument;
  if (!destination.empty() && destination.back() == u'\\') {
    destination += entry.name;
    if (IsFolder(entry)) destination.push_back(u'\\');
  }
  if (source.empty() || destination.size() > kMaxPathUnits) return kErrorFilenameExcedRange;

  platform::FileSystem& files = *app.platform.files;
  // Consecutive files mostly land in one folder: it is made (or found) once.
  const std::u16string_view destinationFolder =
      std::u16string_view(destination).substr(0, destination.rfind(u'\\') + 1);
  if (destinationFolder != request.lastEnsured) {
    EnsureDirectories(files, destination);
    request.lastEnsured = destinationFolder;
  }
  if (IsFolder(entry)) {
    const std::u16string outer = std::exchange(request.argument, destination);
    const Result result = ForEachMatch(app, CopyEntry, request, source, u"*");
    request.argument = outer;
    return result;
  }
  Result copied = files.CopyFile(source, destination);
  if (copied == kErrorAccessDenied) {
    // A read-only target is overwritten: its read-only bit is cleared first.
    const auto attributes = files.GetAttributes(destination);
    if (attributes && (*attributes & platform::kAttributeReadOnly)) {
      files.SetAttributes(destination, *attributes & ~platform::kAttributeReadOnly);
      copied = files.CopyFile(source, destination);
    }
  }
  if (copied == kSuccess) return kSuccess;
  const auto bytes = ReadFileBytes(files, source);
  if (!bytes) return kErrorOpenFailed;
  // A write that fails is reported for the entry rather than passed as copied.
  return WriteTextFile(files, destination, *bytes, false) == bytes->size() ? kSuccess
                                                                          : kErrorWriteFault;
}

Result Copy(engine::AppState& app, char16_t* argument, char16_t* op) {
  *op = 0;
  if (op > argument && op[-1] == u'=') op[-1] = 0;
  MatchRequest request;
  request.recursive = argument[0] == u'!';
  request.argument = engine::TextView(op + 1);
  request.copyTarget = request.argument;
  const SearchPath source = SplitSearchPath(engine::TextView(argument + (request.recursive ? 1 : 0)));
  request.pattern = source.pattern.empty() ? u"*" : source.pattern;
  return ForEachMatch(app, CopyEntry, request, source.folder,
                      request.recursive ? std::u16string_view(u"*") : request.pattern);
}

// "{" writes the text's UTF-16LE units, "<" the text in the ANSI code page; the unit
// after the operator is the mode ("=" appends). 0 when a byte was written, else 1.
Result WriteText(engine::AppState& app, char16_t* argument, char16_t* op) {
  const bool ansi = *op == u'<';
  *op = 0;
  const bool append = op[1] == u'=';
  const std::u16string_view text = op[1] == 0 ? u"" : engine::TextView(op + 2);
  std::string bytes;
  if (!ansi) {
    bytes = registry::UnitBytes(text);
  } else {
    bytes = app.platform.codePages->FromUtf16(platform::kCodePageAnsi, text);
    if (bytes.size() >= kAnsiTextBytes) bytes.clear();  // does not fit with its terminator
  }
  const size_t written = WriteTextFile(*app.platform.files, engine::TextView(argument), bytes, append);
  return written > 0 ? kSuccess : 1;
}

// The paths of a delete list: each ends at a terminator, and the list at the first empty
// path or at the argument's end. The first failure is the result; 0 when all went.
Result Delete(engine::AppState& app, char16_t* argument, const char16_t* end) {
  Result result = kSuccess;
  bool any = false;
  for (char16_t* path = argument; path < end && *path != 0;) {
    const std::u16string_view name = engine::TextView(path);
    const Result deleted = app.platform.files->DeleteTree(name);
    if (deleted != kSuccess && result == kSuccess) result = deleted;
    any = true;
    path += name.size() + 1;
  }
  return any ? result : kErrorFileNotFound;
}

}  // namespace

Result FileCommand(engine::AppState& app, char16_t* argument) {
  const char16_t* end = argument + engine::TextLength(argument);
  for (char16_t* p = argument; p < end; ++p) {
    switch (*p) {
      case u';':
        *p = 0;
        break;
      case u'>':
        if (p > argument && p[-1] == u'-') {
          p[-1] = 0;
          *p = 0;
          break;
        }
        return Copy(app, argument, p);
      case u'\\':
        if (p + 1 == end) {
          EnsureDirectories(*app.platform.files, engine::TextView(argument));
          return kSuccess;
        }
        break;
      case u'{':
      case u'<':
        return WriteText(app, argument, p);
      default:
        break;
    }
  }
  return Delete(app, argument, end);
}

}  // namespace varnisk::files
