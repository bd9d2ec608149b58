#include "platform/host_code_pages.h"

#include <dlfcn.h>

#include <algorithm>
#include <utility>

#include "platform/host_memory.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// Code pages whose bytes below 0x80 are exactly the ASCII characters in both directions
// (checked against the module's tables by the tests), so ASCII needs no table. Not in
// the list: EBCDIC, UTF-7, HZ, ISO-2022 and ISCII, whose ASCII bytes mean other things.
constexpr uint32_t kAsciiCompatible[] = {
    437,   708,   720,   737,   775,   850,   852,   855,   857,   858,   860,   861,
    862,   863,   864,   865,   866,   869,   874,   932,   936,   949,   950,   1250,
    1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  10000, 10006, 10007, 10029,
    10081, 20127, 20866, 20932, 20936, 21866, 28591, 28592, 28593, 28594, 28595, 28596,
    28597, 28598, 28599, 28603, 28605, 38598, 51932, 51936, 51949, 54936,
};
static_assert(std::ranges::is_sorted(kAsciiCompatible));

bool IsAsciiCompatible(uint32_t codePage) {
  return std::ranges::binary_search(kAsciiCompatible, codePage);
}

bool IsAsciiText(std::u16string_view text) {
  return std::ranges::all_of(text, [](char16_t unit) { return unit < 0x80; });
}

std::string NarrowAscii(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  std::ranges::transform(text, bytes.begin(),
                         [](char16_t unit) { return static_cast<char>(unit); });
  return bytes;
}

// Calls a module conversion with a first guess at the result's length, and once more
// with the exact length when the guess was short. Empty when the module has no table.
template <typename Result, typename Input, typename Function>
Result CallModule(Function convert, uint32_t codePage, Input input, size_t guess) {
  Result result(guess, 0);
  while (true) {
    const int64_t length =
        convert(codePage, input.data(), input.size(), result.data(), result.size());
    if (length < 0) return {};
    const bool fitted = static_cast<size_t>(length) <= result.size();
    result.resize(static_cast<size_t>(length));
    if (fitted) return result;
  }
}

}  // namespace

HostCodePages::HostCodePages(uint32_t ansiCodePage, std::vector<std::string> moduleFolders)
    : ansiCodePage_(ansiCodePage), moduleFolders_(std::move(moduleFolders)) {}

HostCodePages::~HostCodePages() {
  if (module_ != nullptr) dlclose(module_);
}

std::u16string HostCodePages::ToUtf16(uint32_t codePage, std::string_view bytes) {
  if (codePage == kCodePageAnsi) codePage = ansiCodePage_;
  if (codePage == kCodePageUtf8) return Utf8ToUtf16(bytes);
  if (IsAsciiCompatible(codePage) && IsAscii(bytes)) {
    std::u16string text;
    const size_t n = bytes.size();
    text.resize_and_overwrite(n, [&](char16_t* units, size_t) {
      PrepareBigBuffer(units, n * sizeof(char16_t));
      for (size_t i = 0; i < n; ++i) units[i] = static_cast<uint8_t>(bytes[i]);
      return n;
    });
    return text;
  }
  if (!LoadModule()) return {};
  // One unit per byte is enough for every table but the rare ones that map a byte to a
  // character outside the Basic Multilingual Plane.
  return CallModule<std::u16string>(toUtf16_, codePage, bytes, bytes.size());
}

std::string HostCodePages::FromUtf16(uint32_t codePage, std::u16string_view text) {
  if (codePage == kCodePageAnsi) codePage = ansiCodePage_;
  if (codePage == kCodePageUtf8) return Utf16ToUtf8(text);
  if (IsAsciiCompatible(codePage) && IsAsciiText(text)) return NarrowAscii(text);
  if (!LoadModule()) return {};
  // Two bytes a unit covers the double-byte code pages; GB18030 and the stateful ones
  // may need the second call.
  return CallModule<std::string>(fromUtf16_, codePage, text, text.size() * 2);
}

bool HostCodePages::Supports(uint32_t codePage) {
  if (codePage == kCodePageAnsi) codePage = ansiCodePage_;
  if (codePage == kCodePageUtf8) return true;
  return LoadModule() && supported_(codePage) != 0;
}

bool HostCodePages::ModuleLoaded() const { return module_ != nullptr; }

bool HostCodePages::LoadModule() {
  if (moduleSearched_) return module_ != nullptr;
  moduleSearched_ = true;
  for (const std::string& folder : moduleFolders_) {
    if (folder.empty()) continue;  // dlopen would search the system's folders instead
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + kCodePageModuleName;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) continue;
    auto toUtf16 = reinterpret_cast<CodePageToUtf16Function>(
        dlsym(module, "VarniskCodePageToUtf16"));
    auto fromUtf16 = reinterpret_cast<CodePageFromUtf16Function>(
        dlsym(module, "VarniskCodePageFromUtf16"));
    auto supported = reinterpret_cast<CodePageSupportedFunction>(
        dlsym(module, "VarniskCodePageSupported"));
    if (toUtf16 == nullptr || fromUtf16 == nullptr || supported == nullptr) {
      dlclose(module);  // not the module this program was built with
      continue;
    }
    module_ = module;
    toUtf16_ = toUtf16;
    fromUtf16_ = fromUtf16;
    supported_ = supported;
    return true;
  }
  return false;
}

}  // namespace varnisk::platform
