// WildcardMatch on any name and pattern: the input is split at its first NUL unit.

#include "files/wildcard.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  const std::u16string text = fuzz::FuzzText(data, size);
  const size_t split = text.find(u'\0');
  const std::u16string_view all(text);
  const std::u16string_view name = all.substr(0, split);
  const std::u16string_view pattern = split == std::u16string::npos ? u"*" : all.substr(split + 1);
  files::WildcardMatch(name, pattern);
  files::SplitSearchPath(all);
  return 0;
}
