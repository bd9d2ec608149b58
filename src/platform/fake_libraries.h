#pragma once
// Libraries for the layers' unit tests: the test says which libraries load and what each
// exports (functions of the test itself), and can see that every library was released
// and every lent path given back.

#include <string>
#include <utility>
#include <vector>

#include "platform/libraries.h"
#include "platform/platform.h"

namespace varnisk::platform {

class FakeLibraries : public Libraries {
 public:
  using Exports = std::vector<std::pair<std::u16string, LibraryFunction>>;

  // files decides which device paths exist; it must outlive the libraries.
  explicit FakeLibraries(FileSystem& files) : files_(files) {}

  // An export of any function type, for AddLibrary and AddModule.
  template <typename Function>
  static std::pair<std::u16string, LibraryFunction> Export(std::u16string name,
                                                           Function* function) {
    return {std::move(name), reinterpret_cast<LibraryFunction>(function)};
  }

  // The file at a device path (which must exist in files too) loads as a library.
  void AddLibrary(std::u16string_view path, Exports exports);
  // The program's module called name loads.
  void AddModule(std::u16string_view name, Exports exports);

  Expected<LibraryHandle, Result> LoadLibrary(std::u16string_view path) override;
  Expected<LibraryHandle, Result> LoadModule(std::u16string_view name) override;
  LibraryFunction FindFunction(LibraryHandle library, std::u16string_view name) override;
  void FreeLibrary(LibraryHandle library) override;
  // Lends existing entries under the name "lent:" + the device path.
  Expected<PathLoan, Result> LendPath(std::u16string_view path) override;
  void ReturnPath(const PathLoan& loan) override;

  int loads = 0;           // successful loads
  int librariesHeld = 0;   // loaded and not yet released
  int loansOut = 0;        // lent and not yet given back
  std::vector<std::string> lookups;  // every name FindFunction was asked for, in UTF-8

 private:
  struct Library {
    std::u16string name;
    bool module;
    Exports exports;
  };
  Expected<LibraryHandle, Result> Load(std::u16string_view name, bool module);

  FileSystem& files_;
  std::vector<Library> libraries_;
  uint64_t nextLoan_ = 1;
};

}  // namespace varnisk::platform
