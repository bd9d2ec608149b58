#pragma once
// Libraries on the host: shared objects of this host stored on the device, and the
// program's own modules beside it. Each is loaded with RTLD_LOCAL, so that nothing it
// defines is seen by the program or by the next library.

#include <string>
#include <vector>

#include "platform/libraries.h"

namespace varnisk::platform {

class HostFileSystem;

// A library stored on the device is loaded through a descriptor that the confined file
// system opened, never through a host path, so no script reaches a shared object outside
// the device. Lent paths are /proc/self/fd names of such descriptors. Not for use from
// several threads at once.
class HostLibraries : public Libraries {
 public:
  // moduleFolders: host folders searched in order for the program's modules, which are
  // named "lib" + name + ".so" there. files must outlive the libraries.
  HostLibraries(HostFileSystem& files, std::vector<std::string> moduleFolders);

  Expected<LibraryHandle, Result> LoadLibrary(std::u16string_view path) override;
  Expected<LibraryHandle, Result> LoadModule(std::u16string_view name) override;
  LibraryFunction FindFunction(LibraryHandle library, std::u16string_view name) override;
  void FreeLibrary(LibraryHandle library) override;
  Expected<PathLoan, Result> LendPath(std::u16string_view path) override;
  void ReturnPath(const PathLoan& loan) override;

 private:
  HostFileSystem& files_;
  std::vector<std::string> moduleFolders_;
};

}  // namespace varnisk::platform
