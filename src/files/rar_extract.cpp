#include "files/rar_extract.h"

#include <string>
#include <vector>

#include "files/file_routines.h"
#include "platform/libraries.h"
#include "unrar/unrar.h"

namespace varnisk::files {
namespace {

constexpr unsigned kCommentBufferSize = 16384;

// The library's four entry points.
struct UnrarFunctions {
  unrar::OpenArchiveExFunction openArchive = nullptr;
  unrar::ReadHeaderFunction readHeader = nullptr;
  unrar::ProcessFileWFunction processFile = nullptr;
  unrar::CloseArchiveFunction closeArchive = nullptr;
};

// Looks the entry points up; false when one is missing.
bool FindFunctions(platform::Libraries& libraries, platform::LibraryHandle library,
                   UnrarFunctions& functions) {
  auto find = [&](const char16_t* name) { return libraries.FindFunction(library, name); };
  functions.openArchive =
      reinterpret_cast<unrar::OpenArchiveExFunction>(find(unrar::kOpenArchiveExName));
  functions.readHeader = reinterpret_cast<unrar::ReadHeaderFunction>(find(unrar::kReadHeaderName));
  functions.processFile =
      reinterpret_cast<unrar::ProcessFileWFunction>(find(unrar::kProcessFileWName));
  functions.closeArchive =
      reinterpret_cast<unrar::CloseArchiveFunction>(find(unrar::kCloseArchiveName));
  return functions.openArchive != nullptr && functions.readHeader != nullptr &&
         functions.processFile != nullptr && functions.closeArchive != nullptr;
}

// The library's wide text: one wchar_t per character (UTF-32 on this host).
std::wstring WideText(std::u16string_view text) {
  std::wstring wide;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    wide.push_back(static_cast<wchar_t>(c));
  }
  return wide;
}

// A device path lent to the library for as long as the object lives.
class Loan {
 public:
  Loan(platform::Libraries& libraries, std::u16string_view path)
      : libraries_(libraries), loan_(libraries.LendPath(path)) {}
  ~Loan() {
    if (loan_) libraries_.ReturnPath(*loan_);
  }
  Loan(const Loan&) = delete;
  Loan& operator=(const Loan&) = delete;

  bool ok() const { return loan_.has_value(); }
  std::wstring WideName() const { return WideText(loan_->name); }

 private:
  platform::Libraries& libraries_;
  Expected<platform::PathLoan, Result> loan_;
};

// Opens the archive, extracts entry by entry until the library answers a code, and
// closes it again: the code is the result.
Result Extract(const UnrarFunctions& unrar, std::wstring archiveName,
               std::wstring destinationName) {
  std::vector<char> comment(kCommentBufferSize);
  unrar::OpenArchiveDataEx open{};
  open.ArcNameW = archiveName.data();
  open.OpenMode = unrar::kOpenExtract;
  open.CmtBuf = comment.data();
  open.CmtBufSize = kCommentBufferSize;
  void* archive = unrar.openArchive(&open);
  if (open.OpenResult != 0) {
    if (archive != nullptr) unrar.closeArchive(archive);
    return open.OpenResult;
  }
  // A library that opened nothing yet claimed success would be read from a null handle.
  if (archive == nullptr) return unrar::kUnknownError;
  Result result = kSuccess;
  while (result == kSuccess) {
    unrar::HeaderData header{};
    result = static_cast<Result>(unrar.readHeader(archive, &header));
    if (result != kSuccess) break;
    result = static_cast<Result>(
        unrar.processFile(archive, unrar::kExtract, destinationName.data(), nullptr));
  }
  unrar.closeArchive(archive);
  return result;
}

// Lends the library the archive and the destination folder (made first) and extracts.
Result ExtractWith(engine::AppState& app, const UnrarFunctions& unrar,
                   std::u16string_view archive, std::u16string_view destination) {
  // The library reaches the archive and the destination only through what the device
  // lends it, so no entry it writes can land outside the device.
  platform::Libraries& libraries = *app.platform.libraries;
  const std::u16string folder(destination.empty() ? u"\\" : destination);
  EnsureDirectories(*app.platform.files, folder + u"\\");
  const Loan archiveLoan(libraries, archive);
  if (!archiveLoan.ok()) return unrar::kOpenFailed;  // as the library answers it
  const Loan folderLoan(libraries, folder);
  if (!folderLoan.ok()) return unrar::kCreateFailed;  // as it answers for entries it cannot make
  return Extract(unrar, archiveLoan.WideName(), folderLoan.WideName());
}

}  // namespace

Result ExtractRar(engine::AppState& app, std::u16string_view archive,
                  std::u16string_view destination) {
  platform::Libraries& libraries = *app.platform.libraries;
  auto library = libraries.LoadModule(unrar::kModuleName);
  if (!library) return kErrorDllNotFound;
  UnrarFunctions unrar;
  const Result result = FindFunctions(libraries, *library, unrar)
                            ? ExtractWith(app, unrar, archive, destination)
                            : kENoInterface;
  libraries.FreeLibrary(*library);
  return result;
}

}  // namespace varnisk::files
