#pragma once
// The device registry on the host: an SQLite database (DEV/registry.db) in WAL mode that
// several programs on one device may use at once without failing or losing a write.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

struct sqlite3;
struct sqlite3_stmt;

namespace varnisk::platform {

// A key handle is the key's row id; ids are never given out twice, so the handle of a
// deleted key stays dead even when a key of the same name is made again.
//
// Beyond the codes RegistryStore names:
//   - the null handle and a root that is none of the four give kErrorInvalidHandle, as a
//     handle the device never gave out does;
//   - a handle whose key was deleted meanwhile gives kErrorFileNotFound, as a missing
//     key does;
//   - deleting a root (an empty path) gives kErrorAccessDenied;
//   - BeginBatch inside a batch and EndBatch outside one give kErrorInvalidFunction;
//   - QueryValue with a buffer but no size gives kErrorInvalidParameter; without a
//     buffer it only reports the type and size; on kErrorMoreData it reports the type too;
//   - the database failing gives kErrorWriteFault (kErrorReadFault when reading),
//     kErrorNotEnoughMemory, kErrorAccessDenied (a read-only file) or
//     kErrorNotRegistryFile (a damaged file). When that ends a batch's transaction, every
//     later write of the batch and EndBatch give kErrorWriteFault.
// Empty levels of a path (a leading, trailing or doubled "\") are passed over, so "" and
// "\" name the root itself, which is how a registry script's "[HKEY_LOCAL_MACHINE\]"
// reads.
//
// Owns one database connection; for one thread at a time. Destroying it while a batch
// is open discards the batch.
class HostRegistry : public RegistryStore {
 public:
  // Opens the database at dbPath, making it (and the four roots) when it is missing. Cheap:
  // no statement is prepared before it is first needed. Fails with a message naming the
  // file.
  static Expected<std::unique_ptr<HostRegistry>, std::string> Open(const std::string& dbPath);
  ~HostRegistry() override;

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

 private:
  // The statements the store runs, each prepared on its first use and kept.
  enum Sql : int {
    kBegin,
    kBeginImmediate,
    kCommit,
    kRollback,
    kDataVersion,
    kFindKey,
    kInsertKey,
    kKeyRow,
    kChildKeys,
    kDeleteSubtreeValues,
    kDeleteSubtreeKeys,
    kSetValue,
    kQueryValue,
    kDeleteValue,
    kKeyValues,
    kSqlCount,
  };
  // One level of the key last resolved: its upper-cased name and its id.
  struct Level {
    std::u16string folded;
    KeyHandle id;
  };

  explicit HostRegistry(sqlite3* db);
  HostRegistry(const HostRegistry&) = delete;
  HostRegistry& operator=(const HostRegistry&) = delete;

  sqlite3_stmt* Statement(Sql which);
  // Runs a statement that returns no rows.
  Result Run(Sql which, bool writing);
  // Opens the transaction of one operation outside a batch (a write one takes the write
  // lock at once, so that it never fails half-way for want of it); inside a batch the
  // batch's transaction serves.
  Result BeginOperation(bool writing);
  // Commits the operation's transaction when outcome is kSuccess, otherwise rolls it
  // back; gives the operation's final result.
  Result EndOperation(Result outcome, bool writing);
  // Forgets the cached key ids when another connection has committed since they were
  // read (it may have deleted those keys).
  void ForgetKeysChangedElsewhere();
  void ForgetKeys();
  // The id of the key at path below root; with create, makes the missing levels.
  Expected<KeyHandle, Result> Resolve(RootKey root, std::u16string_view path, bool create);
  Expected<std::u16string, Result> StoredPath(KeyHandle key);
  Result AppendRecord(KeyHandle key, RootKey root, std::u16string path,
                      std::vector<RegistryKeyRecord>& out,
                      std::vector<std::pair<KeyHandle, std::u16string>>& pending);

  sqlite3* db_;
  std::array<sqlite3_stmt*, kSqlCount> statements_{};
  bool inBatch_ = false;
  bool batchLost_ = false;  // the database rolled the open batch back
  // The levels of the key last resolved, so that a registry script's run of keys
  // below one parent looks up only the last level of each.
  RootKey cachedRoot_ = RootKey::kLocalMachine;
  std::vector<Level> cachedLevels_;
  int64_t dataVersion_ = -1;
};

}  // namespace varnisk::platform
