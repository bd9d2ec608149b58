#include "platform/fake_libraries.h"

#include "platform/text_case.h"
#include "platform/utf.h"

namespace varnisk::platform {

void FakeLibraries::AddLibrary(std::u16string_view path, Exports exports) {
  libraries_.push_back({std::u16string(path), false, std::move(exports)});
}

void FakeLibraries::AddModule(std::u16string_view name, Exports exports) {
  libraries_.push_back({std::u16string(name), true, std::move(exports)});
}

Expected<LibraryHandle, Result> FakeLibraries::LoadLibrary(std::u16string_view path) {
  auto attributes = files_.GetAttributes(path);
  if (!attributes) return Unexpected{attributes.error()};
  return Load(path, false);
}

Expected<LibraryHandle, Result> FakeLibraries::LoadModule(std::u16string_view name) {
  return Load(name, true);
}

Expected<LibraryHandle, Result> FakeLibraries::Load(std::u16string_view name, bool module) {
  for (size_t i = 0; i < libraries_.size(); ++i) {
    if (libraries_[i].module == module && EqualsNoCase(libraries_[i].name, name)) {
      ++loads;
      ++librariesHeld;
      return static_cast<LibraryHandle>(i + 1);
    }
  }
  return Unexpected{kErrorModNotFound};
}

LibraryFunction FakeLibraries::FindFunction(LibraryHandle library, std::u16string_view name) {
  lookups.push_back(Utf16ToUtf8(name));
  for (const auto& [exported, function] : libraries_.at(library - 1).exports) {
    if (exported == name) return function;
  }
  return nullptr;
}

void FakeLibraries::FreeLibrary(LibraryHandle) { --librariesHeld; }

Expected<PathLoan, Result> FakeLibraries::LendPath(std::u16string_view path) {
  auto attributes = files_.GetAttributes(path);
  if (!attributes) return Unexpected{attributes.error()};
  ++loansOut;
  return PathLoan{nextLoan_++, u"lent:" + std::u16string(path)};
}

void FakeLibraries::ReturnPath(const PathLoan&) { --loansOut; }

}  // namespace varnisk::platform
