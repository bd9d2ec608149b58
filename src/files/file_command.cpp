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

// What becomes of a copy onto destination that the device refused or could not make: a
// read-only target is overwritten (its read-only bit cleared first); otherwise the bytes
// are written out as a new file. The source is read only once the destination has taken
// a file, so that a destination that refuses every file (a folder, an invalid name) costs
// no reading of a source that may be larger than memory. A write that fails, an empty
// file's included, is reported for the entry rather than passed as copied.
Result FinishCopy(platform::FileSystem& files, const platform::FileSystem::FileCopy& copy,
                  Result copied) {
  if (copied == kErrorAccessDenied) {
    const auto attributes = files.GetAttributes(copy.destination);
    if (attributes && (*attributes & platform::kAttributeReadOnly)) {
      files.SetAttributes(copy.destination, *attributes & ~platform::kAttributeReadOnly);
      copied = files.CopyFile(copy.source, copy.destination);
    }
  }
  if (copied == kSuccess) return kSuccess;
  const auto source = files.GetAttributes(copy.source);
  if (!source || (*source & platform::kAttributeDirectory)) return kErrorOpenFailed;
  auto writer = files.CreateFileWriter(copy.destination);
  if (!writer) return kErrorWriteFault;
  const auto bytes = ReadFileBytes(files, copy.source);
  if (!bytes) return kErrorOpenFailed;
  const Result written = (*writer)->Write(*bytes);
  const Result closed = (*writer)->Close();
  return written == kSuccess && closed == kSuccess ? kSuccess : kErrorWriteFault;
}

// Copies the files gathered so far together and empties the list; the result is the last
// file's (0 when there were none).
Result CopyGathered(platform::FileSystem& files,
                    std::vector<platform::FileSystem::FileCopy>& gathered) {
  Result result = kSuccess;
  const std::vector<Result> copied = files.CopyFiles(gathered);
  for (size_t i = 0; i < gathered.size(); ++i) result = FinishCopy(files, gathered[i], copied[i]);
  gathered.clear();
  return result;
}

Result CopyMatches(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                   std::u16string_view pattern);

// One entry the copy found: passed over (its result), walked (a folder), or a file to copy,
// gathered with the folder's other files so that the device copies them together.
Result CopyEntry(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                 const platform::FindEntry& entry,
                 std::vector<platform::FileSystem::FileCopy>& gathered) {
  if (IsFolder(entry) && (entry.name.starts_with(u".") || !request.recursive)) {
    return kErrorFileNotFound;
  }
  if (!IsFolder(entry) && request.recursive && !WildcardMatch(entry.name, request.pattern)) {
    return kErrorFileNotFound;
  }
  std::u16string source = JoinPath(folder, entry.name);
  // A tree copied into a folder of its own: the copy is not copied again (it would grow
  // without end).
  if (IsFolder(entry) && SameFolder(source, request.copyTarget)) return kErrorFileNotFound;
  std::u16string destination = request.argument;
  if (!destination.empty() && destination.back() == u'\\') {
    destination += entry.name;
    if (IsFolder(entry)) destination.push_back(u'\\');
  }
  if (source.empty() || destination.size() > kMaxPathUnits) return kErrorFilenameExcedRange;

  // Consecutive files mostly land in one folder: it is made (or found) once.
  const std::u16string_view destinationFolder =
      std::u16string_view(destination).substr(0, destination.rfind(u'\\') + 1);
  if (destinationFolder != request.lastEnsured) {
    EnsureDirectories(*app.platform.files, destination);
    request.lastEnsured = destinationFolder;
  }
  if (IsFolder(entry)) {
    const std::u16string outer = std::exchange(request.argument, destination);
    const Result result = CopyMatches(app, request, source, u"*");
    request.argument = outer;
    return result;
  }
  gathered.push_back({std::move(source), std::move(destination)});
  return kSuccess;
}

// Copies the entries of folder that pattern matches, in their order; the result is the
// last entry's, as for every enumeration, kErrorFileNotFound when none matched.
Result CopyMatches(engine::AppState& app, MatchRequest& request, std::u16string_view folder,
                   std::u16string_view pattern) {
  platform::FileSystem& files = *app.platform.files;
  auto entries = files.FindFiles(folder, pattern);
  if (!entries) return kErrorFileNotFound;
  Result result = kErrorFileNotFound;
  bool lastGathered = false;  // the last entry is a file still to copy
  std::vector<platform::FileSystem::FileCopy> gathered;
  for (const platform::FindEntry& entry : *entries) {
    if (IsFolder(entry)) {
      // The files before a folder are copied before it is walked.
      CopyGathered(files, gathered);
      lastGathered = false;
      result = CopyEntry(app, request, folder, entry, gathered);
      continue;
    }
    const size_t before = gathered.size();
    const Result passed = CopyEntry(app, request, folder, entry, gathered);
    lastGathered = gathered.size() != before;
    if (!lastGathered) result = passed;
  }
  const Result copied = CopyGathered(files, gathered);
  return lastGathered ? copied : result;
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
  return CopyMatches(app, request, source.folder,
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
