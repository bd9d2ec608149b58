#pragma once
// Libraries of the device: shared objects that scripts name (".dll", ".ocx", ".ax" or any
// other name) and the modules that come with the program ("UnRAR"), loaded for one call
// and released again.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/expected.h"
#include "platform/result.h"

namespace varnisk::platform {

// A loaded library; 0 is never a loaded one.
using LibraryHandle = uint64_t;

// An exported function as looked up; the caller casts it to the type it knows.
using LibraryFunction = void (*)();

// A file or folder of the device lent to a loaded library that opens paths itself.
struct PathLoan {
  uint64_t id = 0;
  // What the library opens to reach exactly that entry, and nothing else, while the
  // loan lasts.
  std::u16string name;
};

class Libraries {
 public:
  virtual ~Libraries() = default;

  // Loads the library stored at a device path, whatever its extension. The file system's
  // code when there is no such file; kErrorModNotFound when it is no library this
  // platform can load.
  virtual Expected<LibraryHandle, Result> LoadLibrary(std::u16string_view path) = 0;

  // Loads the module of the program called name, from where the program keeps its
  // modules; kErrorModNotFound when there is none that loads.
  virtual Expected<LibraryHandle, Result> LoadModule(std::u16string_view name) = 0;

  // The function the library exports under name, or nullptr.
  virtual LibraryFunction FindFunction(LibraryHandle library, std::u16string_view name) = 0;

  // Releases a library that LoadLibrary or LoadModule gave.
  virtual void FreeLibrary(LibraryHandle library) = 0;

  // Lends the existing file or folder at a device path to a library; the file system's
  // code when it cannot be reached (and kErrorAccessDenied for anything but a file or a
  // folder). Every loan is given back with ReturnPath.
  virtual Expected<PathLoan, Result> LendPath(std::u16string_view path) = 0;
  virtual void ReturnPath(const PathLoan& loan) = 0;
};

}  // namespace varnisk::platform
