#pragma once
// The device's configuration manager: applies a provisioning XML document to the device's
// registry and files through the platform's own interfaces, so it makes no host call of
// its own and runs the same against the fakes.

#include <string_view>

#include "platform/platform.h"

namespace varnisk::platform {

// How deeply characteristics may nest (registry sub-keys are the only deep ones); bounds
// the work on a hostile document.
constexpr int kMaxProvisioningNesting = 64;

// The documents it reads (element and attribute names as written; type values, datatype
// names and operation names without regard to case; other attributes ignored):
//
//   document       := <wap-provisioningdoc> { provider } </wap-provisioningdoc>
//                   | provider
//   provider       := <characteristic type="Registry"> { key | nokey } </characteristic>
//                   | <characteristic type="FileOperation"> { folder } </characteristic>
//   key            := <characteristic type=KEY> { parm | noparm | key | nokey }
//                     </characteristic>
//   nokey          := <nocharacteristic type=KEY/>
//   parm           := <parm name=NAME [value=TEXT] [datatype=TYPE]/>
//   noparm         := <noparm name=NAME/>
//   folder         := <characteristic type=DEVICE-PATH> { operation | entry }
//                     </characteristic>
//   entry          := <characteristic type=NAME> { operation } </characteristic>
//   operation      := <characteristic type="MakeDir"/> | <characteristic type="Delete"/>
//                   | <characteristic type="Copy">
//                       <parm name="Source" value=DEVICE-PATH/> </characteristic>
//
// Registry: a key directly below the provider is "ROOT\path" (ROOT one of HKLM, HKCU,
// HKCR, HKU or HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS; the
// path may be empty for the root itself); a nested key or nokey names a path below the
// key holding it. Every key characteristic creates its key with the keys above it.
// An empty NAME is the key's default value. TYPE is
//   string          REG_SZ, the text with its NUL (the default);
//   integer         REG_DWORD: decimal (-2147483648 to 4294967295) or 0x and hex digits;
//   multiplestring  REG_MULTI_SZ: the strings of the text, separated by U+F000 as
//                   provisioning tools write them, each with its NUL, then one more NUL;
//                   empty strings are left out (they would end the list early), and no
//                   strings at all give two NULs;
//   binary          REG_BINARY: the text is base64 (padded; blanks ignored).
// noparm and nokey delete a value, or a key with everything below it; one that is
// already missing is no failure.
//
// FileOperation: a folder names a device path; an entry names a file or folder in it
// (one or more names, no "." or ".."). A type that names an operation is the operation,
// never an entry. MakeDir creates the folder with the folders above it; Copy copies the
// device file Source there (replacing a file there, never creating folders); Delete
// deletes the file, or the folder when it is empty, and is no failure when nothing is
// there.
//
// The whole document is checked before anything is applied: a malformed document or an
// unknown entry changes nothing. Operations then run in document order, registry ones in
// one RegistryStore batch; the first failure ends the run with kConfigApplyFailed, and
// what ran before it stays.
class ProvisioningManager : public ConfigManager {
 public:
  // Both services must outlive the manager.
  ProvisioningManager(FileSystem& files, RegistryStore& registry);

  Result ProcessConfigXml(std::u16string_view document) override;

 private:
  FileSystem& files_;
  RegistryStore& registry_;
};

}  // namespace varnisk::platform
