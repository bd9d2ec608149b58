#include "platform/host_libraries.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/host_file_system.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

constexpr std::string_view kFdFolder = "/proc/self/fd/";

std::string FdName(int fd) { return std::string(kFdFolder) + std::to_string(fd); }

// The descriptor numbers in the names of the libraries loaded through /proc/self/fd that
// are still in memory. A library that cannot be unloaded (one marked "nodelete", or
// holding unique symbols) keeps its name, and the loader answers a later load of that
// same name with it, whatever file the descriptor now names.
std::set<int> FdNamesInUse() {
  std::set<int> numbers;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
        if (name.starts_with(kFdFolder)) {
          static_cast<std::set<int>*>(data)->insert(std::atoi(name.data() + kFdFolder.size()));
        }
        return 0;
      },
      &numbers);
  return numbers;
}

// A descriptor of the same file whose /proc/self/fd name no loaded library bears: fd
// itself, or a duplicate above every such number. -1 when no duplicate can be made.
int UnusedFdName(int fd) {
  const std::set<int> used = FdNamesInUse();
  if (!used.contains(fd)) return fd;
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, *used.rbegin() + 1);
  close(fd);
  return copy;
}

// Only names that cannot lead anywhere but to a file in a module folder.
bool IsModuleName(std::u16string_view name) {
  return !name.empty() && std::ranges::all_of(name, [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_';
  });
}

LibraryHandle HandleOf(void* library) { return reinterpret_cast<LibraryHandle>(library); }
void* LibraryOf(LibraryHandle handle) { return reinterpret_cast<void*>(handle); }

}  // namespace

HostLibraries::HostLibraries(HostFileSystem& files, std::vector<std::string> moduleFolders)
    : files_(files), moduleFolders_(std::move(moduleFolders)) {}

Expected<LibraryHandle, Result> HostLibraries::LoadLibrary(std::u16string_view path) {
  auto opened = files_.OpenForLending(path);
  if (!opened) return Unexpected{opened.error()};
  const int fd = UnusedFdName(*opened);
  if (fd < 0) return Unexpected{kErrorModNotFound};
  void* library = dlopen(FdName(fd).c_str(), RTLD_NOW | RTLD_LOCAL);
  close(fd);
  if (library == nullptr) return Unexpected{kErrorModNotFound};
  return HandleOf(library);
}

Expected<LibraryHandle, Result> HostLibraries::LoadModule(std::u16string_view name) {
  if (!IsModuleName(name)) return Unexpected{kErrorModNotFound};
  const std::string file = "lib" + Utf16ToUtf8(name) + ".so";
  for (const std::string& folder : moduleFolders_) {
    if (folder.empty()) continue;  // dlopen would search the system's folders instead
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + file;
    if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return HandleOf(library);
  }
  return Unexpected{kErrorModNotFound};
}

LibraryFunction HostLibraries::FindFunction(LibraryHandle library, std::u16string_view name) {
  const std::string symbol = Utf16ToUtf8(name);
  // An empty name is no export; dlsym would answer it with whatever it finds first.
  if (symbol.empty() || symbol.find('\0') != std::string::npos) return nullptr;
  return reinterpret_cast<LibraryFunction>(dlsym(LibraryOf(library), symbol.c_str()));
}

void HostLibraries::FreeLibrary(LibraryHandle library) { dlclose(LibraryOf(library)); }

Expected<PathLoan, Result> HostLibraries::LendPath(std::u16string_view path) {
  auto opened = files_.OpenForLending(path);
  if (!opened) return Unexpected{opened.error()};
  return PathLoan{static_cast<uint64_t>(*opened), WidenAscii(FdName(*opened))};
}

void HostLibraries::ReturnPath(const PathLoan& loan) { close(static_cast<int>(loan.id)); }

}  // namespace varnisk::platform
