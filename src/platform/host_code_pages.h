#pragma once
// Code-page conversion on the host. ASCII text and UTF-8 are converted here directly;
// every other conversion goes through the code-page module (ICU), which is loaded the
// first time such a conversion is asked for, so that runs that never need it never pay
// for loading it. A conversion the module cannot make (module missing, code page
// unknown) gives an empty result, as a failed conversion produces nothing on the device.

#include <string>
#include <vector>

#include "platform/icu/code_page_module.h"
#include "platform/platform.h"

namespace varnisk::platform {

class HostCodePages : public CodePages {
 public:
  // ansiCodePage: the device's ANSI code page (936 unless chosen otherwise).
  // moduleFolders: host folders searched in order for the code-page module.
  HostCodePages(uint32_t ansiCodePage, std::vector<std::string> moduleFolders);
  ~HostCodePages() override;
  HostCodePages(const HostCodePages&) = delete;
  HostCodePages& operator=(const HostCodePages&) = delete;

  uint32_t AnsiCodePage() const override { return ansiCodePage_; }
  std::u16string ToUtf16(uint32_t codePage, std::string_view bytes) override;
  std::string FromUtf16(uint32_t codePage, std::u16string_view text) override;

  // Whether conversions in this code page can be made (loads the module when needed).
  bool Supports(uint32_t codePage);
  // Whether the code-page module has been loaded.
  bool ModuleLoaded() const;

 private:
  // Opens the module on the first call; false when no folder holds a usable one.
  bool LoadModule();

  uint32_t ansiCodePage_;
  std::vector<std::string> moduleFolders_;
  bool moduleSearched_ = false;  // a failed search is not repeated for every conversion
  void* module_ = nullptr;
  CodePageToUtf16Function toUtf16_ = nullptr;
  CodePageFromUtf16Function fromUtf16_ = nullptr;
  CodePageSupportedFunction supported_ = nullptr;
};

}  // namespace varnisk::platform
