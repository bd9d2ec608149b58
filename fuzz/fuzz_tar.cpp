// The tar reader on any archive bytes (gzip-compressed or not), on a fake device; the
// archive must write nothing outside its destination.

#include <cstdlib>

#include "files/tar_extract.h"
#include "platform/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  platform::FakeFileSystem files;
  platform::FakeCodePages codePages;
  files.WriteFile(u"\\a.tgz", std::string_view(reinterpret_cast<const char*>(data), size));
  files::ExtractTarGz(files, codePages, u"\\a.tgz", u"\\Out");
  const auto root = files.FindFiles(u"\\", u"*");
  if (!root) abort();
  for (const platform::FindEntry& entry : *root) {
    if (entry.name != u"a.tgz" && entry.name != u"Out") abort();
  }
  return 0;
}
