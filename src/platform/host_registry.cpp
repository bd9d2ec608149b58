#include "platform/host_registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include "platform/text_case.h"

namespace varnisk::platform {
namespace {

// How long an operation waits for another program on the device to finish its write
// before it fails. A registry script applied in one batch holds the lock for its whole
// run, so this is generous.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kSetUpRetryMs = 5;

// The format of the database, kept in PRAGMA user_version; a later format that this
// build cannot read is refused rather than damaged.
constexpr int64_t kSchemaVersion = 1;
// PRAGMA application_id of a device registry ("VRK1"), so that another SQLite file put
// in its place is told apart.
constexpr int64_t kApplicationId = 0x56524B31;

// Names are kept as the bytes of their UTF-16 units, not as SQLite text, which would drop
// a leading U+FEFF and byte-swap a name starting with U+FFFE: every name the device can
// hold (unpaired surrogates and NULs included) comes back unit for unit. Lookups and
// uniqueness go by the upper-case form. The database's text encoding is UTF-16LE only so
// that CAST(name AS TEXT) shows a name to a person with the sqlite3 program. Key ids are
// never reused (AUTOINCREMENT), which keeps the handle of a deleted key dead.
constexpr char kSchema[] = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER REFERENCES keys(id),
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE key_values(
  key INTEGER NOT NULL REFERENCES keys(id),
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, folded)) WITHOUT ROWID;
INSERT INTO keys(id, parent, name, folded) VALUES
  (1, NULL, CAST('HKEY_CLASSES_ROOT' AS BLOB), CAST('HKEY_CLASSES_ROOT' AS BLOB)),
  (2, NULL, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('HKEY_CURRENT_USER' AS BLOB)),
  (3, NULL, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('HKEY_LOCAL_MACHINE' AS BLOB)),
  (4, NULL, CAST('HKEY_USERS' AS BLOB), CAST('HKEY_USERS' AS BLOB));
)sql";

// In the order of HostRegistry::Sql.
constexpr const char* kSqlText[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "PRAGMA data_version",
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)",
    "SELECT parent, name FROM keys WHERE id = ?1",
    "SELECT id, name, folded FROM keys WHERE parent = ?1",
    // The subtree of key ?1, the key itself included, by a recursive query rather than
    // cascading deletes, whose depth SQLite bounds (1000 levels by default).
    "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys "
    "JOIN subtree ON keys.parent = subtree.id) "
    "DELETE FROM key_values WHERE key IN (SELECT id FROM subtree)",
    "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys "
    "JOIN subtree ON keys.parent = subtree.id) "
    "DELETE FROM keys WHERE id IN (SELECT id FROM subtree)",
    ("INSERT INTO key_values(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
     "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"),
    "SELECT type, data FROM key_values WHERE key = ?1 AND folded = ?2",
    "DELETE FROM key_values WHERE key = ?1 AND folded = ?2",
    "SELECT name, folded, type, data FROM key_values WHERE key = ?1",
};

// The one place where SQLite's codes become the device's.
Result ResultOf(int code, bool writing) {
  // A row naming a key that is no longer there: the key was deleted meanwhile.
  if (code == SQLITE_CONSTRAINT_FOREIGNKEY) return kErrorFileNotFound;
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kSuccess;
    case SQLITE_NOMEM:
      return kErrorNotEnoughMemory;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kErrorNotRegistryFile;
    case SQLITE_TOOBIG:
      return kErrorInvalidParameter;
    default:
      return writing ? kErrorWriteFault : kErrorReadFault;
  }
}

// One run of a cached statement: binds, steps, reads columns, and resets the statement
// when it goes out of scope so that it holds no read lock past the operation. Every run
// binds every parameter, so the pointers a reset leaves bound are never read.
class Query {
 public:
  Query(sqlite3* db, sqlite3_stmt* statement) : statement_(statement) {
    if (statement_ == nullptr) {
      const int code = sqlite3_extended_errcode(db);
      status_ = code == SQLITE_OK ? SQLITE_ERROR : code;
    }
  }
  ~Query() {
    if (statement_ != nullptr) sqlite3_reset(statement_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  void Bind(int index, int64_t value) {
    if (status_ == SQLITE_OK) status_ = sqlite3_bind_int64(statement_, index, value);
  }
  // A name, as the bytes of its units.
  void Bind(int index, std::u16string_view name) {
    BindBlob(index, std::string_view(reinterpret_cast<const char*>(name.data()),
                                     name.size() * sizeof(char16_t)));
  }
  void BindBlob(int index, std::string_view bytes) {
    // A null pointer would bind SQL NULL rather than an empty blob.
    if (status_ != SQLITE_OK) return;
    status_ = sqlite3_bind_blob64(statement_, index, bytes.empty() ? "" : bytes.data(),
                                  bytes.size(), SQLITE_STATIC);
  }

  // SQLITE_ROW, SQLITE_DONE or the failure.
  int Step() { return status_ == SQLITE_OK ? sqlite3_step(statement_) : status_; }

  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  std::u16string Name(int column) const {
    const std::string_view bytes = Blob(column);
    std::u16string name(bytes.size() / sizeof(char16_t), u'\0');
    if (!name.empty()) std::memcpy(name.data(), bytes.data(), name.size() * sizeof(char16_t));
    return name;
  }
  // Valid until the next Step.
  std::string_view Blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int bytes = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string_view()
                           : std::string_view(static_cast<const char*>(data), bytes);
  }

 private:
  sqlite3_stmt* statement_;
  int status_ = SQLITE_OK;
};

bool IsRootPath(std::u16string_view path) {
  return path.find_first_not_of(u'\\') == std::u16string_view::npos;
}

void Fold(std::u16string_view name, std::u16string& folded) {
  folded.resize(name.size());
  std::transform(name.begin(), name.end(), folded.begin(), UpperCase);
}

std::u16string Folded(std::u16string_view name) {
  std::u16string folded;
  Fold(name, folded);
  return folded;
}

// The answer of a pragma (or query) that answers one number.
int ReadPragma(sqlite3* db, const char* pragma, int64_t* value) {
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(db, pragma, -1, &statement, nullptr);
  if (code == SQLITE_OK) {
    code = sqlite3_step(statement);
    if (code == SQLITE_ROW) {
      *value = sqlite3_column_int64(statement, 0);
      code = SQLITE_OK;
    }
  }
  sqlite3_finalize(statement);
  return code;
}

// Makes the tables and roots of a new registry and answers its format version.
int SetUpNewRegistry(sqlite3* db, int64_t* version) {
  int64_t tables = 0;
  int code = ReadPragma(db, "SELECT count(*) FROM sqlite_schema", &tables);
  // Tables already there: another program has just made them, or it is some other
  // database (which Open then refuses).
  if (code == SQLITE_OK && tables != 0) return ReadPragma(db, "PRAGMA user_version", version);
  if (code != SQLITE_OK) return code;
  // The encoding only takes effect while the file is still empty. WAL mode is kept in the
  // file, so an existing registry is not asked again: that would cost a third of the
  // time Open takes.
  code = sqlite3_exec(db, "PRAGMA encoding = 'UTF-16le'; PRAGMA journal_mode = WAL;", nullptr,
                      nullptr, nullptr);
  // The write lock taken first decides which of two programs makes the tables.
  if (code == SQLITE_OK) code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return code;
  code = ReadPragma(db, "PRAGMA user_version", version);
  if (code == SQLITE_OK) code = ReadPragma(db, "SELECT count(*) FROM sqlite_schema", &tables);
  if (code == SQLITE_OK && *version == 0 && tables == 0) {
    const std::string schema = std::string(kSchema) +
                               "PRAGMA application_id = " + std::to_string(kApplicationId) +
                               "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    code = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
    *version = kSchemaVersion;
  }
  if (code == SQLITE_OK) code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK && !sqlite3_get_autocommit(db)) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return code;
}

}  // namespace

Expected<std::unique_ptr<HostRegistry>, std::string> HostRegistry::Open(const std::string& dbPath) {
  sqlite3* db = nullptr;
  const int flags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int code = sqlite3_open_v2(dbPath.c_str(), &db, flags, nullptr);
  auto fail = [&](const std::string& why) {
    sqlite3_close_v2(db);
    return Unexpected{"cannot open the device registry " + dbPath + ": " + why};
  };
  auto failWithSqlite = [&]() {
    return fail(db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  };
  if (code != SQLITE_OK) return failWithSqlite();
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // NORMAL is safe in WAL mode: a power cut may lose the last commits but never damages
  // the file.
  code = sqlite3_exec(db, "PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON;", nullptr,
                      nullptr, nullptr);
  if (code != SQLITE_OK) return failWithSqlite();
  int64_t version = 0;
  if ((code = ReadPragma(db, "PRAGMA user_version", &version)) != SQLITE_OK) {
    return failWithSqlite();
  }
  // Two programs starting on a new device both set the new file up. Switching it to WAL
  // can fail at once, without waiting, when both try together; the one that failed tries
  // again once the other is done.
  if (version == 0) {
    for (int waited = 0;; waited += kSetUpRetryMs) {
      code = SetUpNewRegistry(db, &version);
      if ((code & 0xFF) != SQLITE_BUSY || waited >= kBusyTimeoutMs) break;
      sqlite3_sleep(kSetUpRetryMs);
    }
    if (code != SQLITE_OK) return failWithSqlite();
  }
  int64_t application = 0;
  if ((code = ReadPragma(db, "PRAGMA application_id", &application)) != SQLITE_OK) {
    return failWithSqlite();
  }
  if (application != kApplicationId) return fail("it is not a device registry");
  if (version > kSchemaVersion) {
    return fail("it was written by a newer version of the program (registry format " +
                std::to_string(version) + ")");
  }
  return std::unique_ptr<HostRegistry>(new HostRegistry(db));
}

HostRegistry::HostRegistry(sqlite3* db) : db_(db) {}

HostRegistry::~HostRegistry() {
  if (!sqlite3_get_autocommit(db_)) Run(kRollback, true);
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  sqlite3_close_v2(db_);
}

sqlite3_stmt* HostRegistry::Statement(Sql which) {
  static_assert(std::size(kSqlText) == kSqlCount, "one text for each statement");
  if (statements_[which] == nullptr) {
    sqlite3_prepare_v3(db_, kSqlText[which], -1, SQLITE_PREPARE_PERSISTENT, &statements_[which],
                       nullptr);
  }
  return statements_[which];
}

Result HostRegistry::Run(Sql which, bool writing) {
  Query query(db_, Statement(which));
  const int code = query.Step();
  return code == SQLITE_ROW ? kSuccess : ResultOf(code, writing);
}

Result HostRegistry::BeginOperation(bool writing) {
  if (inBatch_ && batchLost_ && writing) return kErrorWriteFault;
  if (inBatch_ && !batchLost_) return kSuccess;
  if (Result result = Run(writing ? kBeginImmediate : kBegin, writing)) return result;
  ForgetKeysChangedElsewhere();
  return kSuccess;
}

Result HostRegistry::EndOperation(Result outcome, bool writing) {
  if (inBatch_ && !batchLost_) {
    // SQLite ends the whole transaction on some failures (a full disk, an I/O error):
    // the batch is gone, and the rest of it must not land on its own.
    if (sqlite3_get_autocommit(db_)) {
      batchLost_ = true;
      ForgetKeys();
    }
    return outcome;
  }
  if (outcome == kSuccess) {
    outcome = Run(kCommit, writing);
    if (outcome == kSuccess) return kSuccess;
  }
  if (!sqlite3_get_autocommit(db_)) Run(kRollback, writing);
  if (writing) ForgetKeys();  // keys made by the undone transaction are gone
  return outcome;
}

void HostRegistry::ForgetKeysChangedElsewhere() {
  Query query(db_, Statement(kDataVersion));
  const int64_t version = query.Step() == SQLITE_ROW ? query.Int(0) : -1;
  if (version == -1 || version != dataVersion_) ForgetKeys();
  dataVersion_ = version;
}

void HostRegistry::ForgetKeys() { cachedLevels_.clear(); }

Expected<KeyHandle, Result> HostRegistry::Resolve(RootKey root, std::u16string_view path,
                                                  bool create) {
  const KeyHandle rootId = RootKeyId(root);
  if (rootId == 0) return Unexpected{kErrorInvalidHandle};
  if (root != cachedRoot_) {
    cachedLevels_.clear();
    cachedRoot_ = root;
  }
  KeyHandle parent = rootId;
  size_t depth = 0;
  bool onCachedPath = true;
  std::u16string folded;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    Fold(name, folded);
    if (onCachedPath && depth < cachedLevels_.size() && cachedLevels_[depth].folded == folded) {
      parent = cachedLevels_[depth++].id;
      continue;
    }
    if (onCachedPath) {
      cachedLevels_.resize(depth);
      onCachedPath = false;
    }
    KeyHandle id = 0;
    {
      Query find(db_, Statement(kFindKey));
      find.Bind(1, static_cast<int64_t>(parent));
      find.Bind(2, folded);
      const int code = find.Step();
      if (code == SQLITE_ROW) {
        id = static_cast<KeyHandle>(find.Int(0));
      } else if (code != SQLITE_DONE) {
        return Unexpected{ResultOf(code, create)};
      }
    }
    if (id == 0) {
      if (!create) return Unexpected{kErrorFileNotFound};
      Query insert(db_, Statement(kInsertKey));
      insert.Bind(1, static_cast<int64_t>(parent));
      insert.Bind(2, name);
      insert.Bind(3, folded);
      const int code = insert.Step();
      if (code != SQLITE_DONE) return Unexpected{ResultOf(code, true)};
      id = static_cast<KeyHandle>(sqlite3_last_insert_rowid(db_));
    }
    cachedLevels_.push_back({folded, id});
    parent = id;
    ++depth;
  }
  return parent;
}

Expected<KeyHandle, Result> HostRegistry::CreateKey(RootKey root, std::u16string_view path) {
  if (RootKeyId(root) == 0) return Unexpected{kErrorInvalidHandle};
  if (Result result = BeginOperation(true)) return Unexpected{result};
  auto key = Resolve(root, path, true);
  if (Result result = EndOperation(key ? kSuccess : key.error(), true)) {
    return Unexpected{result};
  }
  return key;
}

Expected<KeyHandle, Result> HostRegistry::OpenKey(RootKey root, std::u16string_view path) {
  if (RootKeyId(root) == 0) return Unexpected{kErrorInvalidHandle};
  if (Result result = BeginOperation(false)) return Unexpected{result};
  auto key = Resolve(root, path, false);
  if (Result result = EndOperation(key ? kSuccess : key.error(), false)) {
    return Unexpected{result};
  }
  return key;
}

// A handle holds nothing on the host: the key's id is all there is to it.
void HostRegistry::CloseKey(KeyHandle) {}

Result HostRegistry::SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                              std::string_view data) {
  if (key == 0) return kErrorInvalidHandle;
  // The size must fit the 32 bits in which QueryValue reports it.
  if (data.size() > UINT32_MAX) return kErrorInvalidParameter;
  if (Result result = BeginOperation(true)) return result;
  const std::u16string folded = Folded(name);
  Result outcome;
  {
    Query set(db_, Statement(kSetValue));
    set.Bind(1, static_cast<int64_t>(key));
    set.Bind(2, name);
    set.Bind(3, folded);
    set.Bind(4, static_cast<int64_t>(type));
    set.BindBlob(5, data);
    outcome = ResultOf(set.Step(), true);
  }
  return EndOperation(outcome, true);
}

Result HostRegistry::QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type,
                                void* buffer, uint32_t capacity, uint32_t* size) {
  if (key == 0) return kErrorInvalidHandle;
  if (buffer != nullptr && size == nullptr) return kErrorInvalidParameter;
  const std::u16string folded = Folded(name);
  // One statement reads one consistent state: no transaction of its own is needed.
  Query query(db_, Statement(kQueryValue));
  query.Bind(1, static_cast<int64_t>(key));
  query.Bind(2, folded);
  const int code = query.Step();
  if (code == SQLITE_DONE) return kErrorFileNotFound;
  if (code != SQLITE_ROW) return ResultOf(code, false);
  const std::string_view data = query.Blob(1);
  if (type != nullptr) *type = static_cast<uint32_t>(query.Int(0));
  if (size != nullptr) *size = static_cast<uint32_t>(data.size());
  if (buffer == nullptr) return kSuccess;
  if (data.size() > capacity) return kErrorMoreData;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return kSuccess;
}

Result HostRegistry::DeleteValue(KeyHandle key, std::u16string_view name) {
  if (key == 0) return kErrorInvalidHandle;
  if (Result result = BeginOperation(true)) return result;
  const std::u16string folded = Folded(name);
  Result outcome;
  {
    Query erase(db_, Statement(kDeleteValue));
    erase.Bind(1, static_cast<int64_t>(key));
    erase.Bind(2, folded);
    outcome = ResultOf(erase.Step(), true);
    if (outcome == kSuccess && sqlite3_changes(db_) == 0) outcome = kErrorFileNotFound;
  }
  return EndOperation(outcome, true);
}

Result HostRegistry::DeleteKey(RootKey root, std::u16string_view path) {
  if (RootKeyId(root) == 0) return kErrorInvalidHandle;
  if (IsRootPath(path)) return kErrorAccessDenied;
  if (Result result = BeginOperation(true)) return result;
  const auto key = Resolve(root, path, false);
  Result outcome = key ? kSuccess : key.error();
  // Values first: the keys they name must still be there when they go.
  for (Sql erase : {kDeleteSubtreeValues, kDeleteSubtreeKeys}) {
    if (outcome != kSuccess) break;
    Query query(db_, Statement(erase));
    query.Bind(1, static_cast<int64_t>(*key));
    outcome = ResultOf(query.Step(), true);
  }
  ForgetKeys();
  return EndOperation(outcome, true);
}

Result HostRegistry::BeginBatch() {
  if (inBatch_) return kErrorInvalidFunction;
  if (Result result = Run(kBeginImmediate, true)) return result;
  inBatch_ = true;
  batchLost_ = false;
  ForgetKeysChangedElsewhere();
  return kSuccess;
}

Result HostRegistry::EndBatch() {
  if (!inBatch_) return kErrorInvalidFunction;
  inBatch_ = false;
  if (batchLost_) {
    batchLost_ = false;
    return kErrorWriteFault;
  }
  return EndOperation(kSuccess, true);
}

Result HostRegistry::CancelBatch() {
  if (!inBatch_) return kErrorInvalidFunction;
  inBatch_ = false;
  batchLost_ = false;
  if (!sqlite3_get_autocommit(db_)) Run(kRollback, true);
  ForgetKeys();  // keys made by the undone batch are gone
  return kSuccess;
}

Expected<std::u16string, Result> HostRegistry::StoredPath(KeyHandle key) {
  std::vector<std::u16string> names;
  for (;;) {
    Query row(db_, Statement(kKeyRow));
    row.Bind(1, static_cast<int64_t>(key));
    const int code = row.Step();
    if (code == SQLITE_DONE) return Unexpected{kErrorFileNotFound};
    if (code != SQLITE_ROW) return Unexpected{ResultOf(code, false)};
    if (row.IsNull(0)) break;  // a root: its name is not part of the path
    names.push_back(row.Name(1));
    key = static_cast<KeyHandle>(row.Int(0));
  }
  std::u16string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!path.empty()) path += u'\\';
    path += *name;
  }
  return path;
}

Result HostRegistry::AppendRecord(KeyHandle key, RootKey root, std::u16string path,
                                  std::vector<RegistryKeyRecord>& out,
                                  std::vector<std::pair<KeyHandle, std::u16string>>& pending) {
  // Upper-case forms compared unit by unit order names exactly as CompareNoCase does.
  std::vector<std::pair<std::u16string, RegistryValue>> values;
  {
    Query query(db_, Statement(kKeyValues));
    query.Bind(1, static_cast<int64_t>(key));
    int code;
    while ((code = query.Step()) == SQLITE_ROW) {
      values.emplace_back(query.Name(1),
                          RegistryValue{query.Name(0), static_cast<uint32_t>(query.Int(2)),
                                        std::string(query.Blob(3))});
    }
    if (code != SQLITE_DONE) return ResultOf(code, false);
  }
  std::sort(values.begin(), values.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  std::vector<std::tuple<std::u16string, std::u16string, KeyHandle>> children;
  {
    Query query(db_, Statement(kChildKeys));
    query.Bind(1, static_cast<int64_t>(key));
    int code;
    while ((code = query.Step()) == SQLITE_ROW) {
      children.emplace_back(query.Name(2), query.Name(1), static_cast<KeyHandle>(query.Int(0)));
    }
    if (code != SQLITE_DONE) return ResultOf(code, false);
  }
  // Pushed last to first, so that the first child is taken next.
  std::sort(children.begin(), children.end(),
            [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
  for (auto& [folded, name, id] : children) {
    pending.emplace_back(id, path.empty() ? name : path + u'\\' + name);
  }

  RegistryKeyRecord& record = out.emplace_back();
  record.root = root;
  record.path = std::move(path);
  for (auto& value : values) record.values.push_back(std::move(value.second));
  return kSuccess;
}

Expected<std::vector<RegistryKeyRecord>, Result> HostRegistry::ExportKeys(
    RootKey root, std::u16string_view path) {
  if (RootKeyId(root) == 0) return Unexpected{kErrorInvalidHandle};
  // One read transaction: the export is one state of the registry even while another
  // program writes to it.
  if (Result result = BeginOperation(false)) return Unexpected{result};
  std::vector<RegistryKeyRecord> records;
  const auto key = Resolve(root, path, false);
  Result outcome = key ? kSuccess : key.error();
  if (outcome == kSuccess) {
    auto stored = StoredPath(*key);
    if (!stored) outcome = stored.error();
    // Depth first without recursion: a key may lie thousands of levels deep.
    std::vector<std::pair<KeyHandle, std::u16string>> pending;
    if (stored) pending.emplace_back(*key, std::move(*stored));
    while (outcome == kSuccess && !pending.empty()) {
      auto [id, keyPath] = std::move(pending.back());
      pending.pop_back();
      outcome = AppendRecord(id, root, std::move(keyPath), records, pending);
    }
  }
  if (Result result = EndOperation(outcome, false)) return Unexpected{result};
  return records;
}

}  // namespace varnisk::platform
