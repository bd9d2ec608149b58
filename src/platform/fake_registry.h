#pragma once
// An in-memory device registry for tests, with the host registry's contract (the same
// codes, the same path rules), a way to make a write fail, and a short printed form.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace varnisk::platform {

// A new fake holds the four empty roots. Its codes are those HostRegistry documents.
// Batches are real: BeginBatch remembers the registry, and a batch that fails to end (or
// is abandoned) puts it back.
class FakeRegistry : public RegistryStore {
 public:
  FakeRegistry();

  Expected<KeyHandle, Result> CreateKey(RootKey root, std::u16string_view path) override;
  Expected<KeyHandle, Result> OpenKey(RootKey root, std::u16string_view path) override;
  void CloseKey(KeyHandle key) override;
  Result SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                  std::string_view data) override;
  Result QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type, void* buffer,
                    uint32_t capacity, uint32_t* size) override;
  Result DeleteValue(KeyHandle key, std::u16string_view name) override;
  Result DeleteKey(RootKey root, std::u16string_view path) override;
  Result BeginBatch() override;
  Result EndBatch() override;
  Result CancelBatch() override;
  Expected<std::vector<RegistryKeyRecord>, Result> ExportKeys(RootKey root,
                                                              std::u16string_view path) override;

  // Makes the n-th write from now (1 is the next one) fail with code and change nothing,
  // as a full disk would. Writes are CreateKey, SetValue, DeleteValue, DeleteKey and
  // EndBatch; a failing EndBatch undoes the whole batch, as a failed commit does.
  void FailWrite(int n, Result code);

  // Undoes the open batch and ends it, as a program killed before EndBatch leaves the
  // registry.
  void AbandonBatch();

 private:
  // Children and values are kept by their upper-case names, which orders them as
  // CompareNoCase does.
  struct Key {
    KeyHandle parent = 0;  // 0 for a root
    std::u16string name;
    std::map<std::u16string, KeyHandle> children;
    std::map<std::u16string, RegistryValue> values;
  };

  // kSuccess, or the fault FailWrite set for this write.
  Result CountWrite();
  Expected<KeyHandle, Result> Find(RootKey root, std::u16string_view path, bool create);
  Key* Live(KeyHandle key);
  void Erase(KeyHandle key);

  std::map<KeyHandle, Key> keys_;
  KeyHandle nextId_ = 5;  // after the roots; never given out twice
  std::optional<std::map<KeyHandle, Key>> batchStart_;
  int writesBeforeFault_ = 0;
  Result faultCode_ = kSuccess;
};

// The key at path below root and every key below it, one line each, in export order:
// the key's short name ("HKLM\Software\X") and its values, the default one as "@", each
// as name=type:data, where data is the text of a string type (NULs as "\0") and hex
// bytes otherwise ("HKLM\X @=1:"Hi\0" Count=4:2a000000"). "error N" when the export
// fails.
std::string RegistryListing(RegistryStore& store, RootKey root, std::u16string_view path = u"");

}  // namespace varnisk::platform
