// What only the host registry has to keep: a batch that never ends leaves the database as
// it was and undamaged, several programs writing at once lose nothing, and a file that is
// not a usable registry is refused with a message naming it.

#include "platform/host_registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/fake_registry.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

constexpr RootKey kMachine = RootKey::kLocalMachine;

std::string Dword(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// The exit status of a child that ends normally, or 1000 + the signal that ended it.
int Status(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

class HostRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = (folder_ / "registry.db").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::unique_ptr<HostRegistry> OpenStore() {
    auto opened = HostRegistry::Open(path_);
    if (!opened) {
      ADD_FAILURE() << opened.error();
      return nullptr;
    }
    return std::move(*opened);
  }

  // A registry with a little in it, closed again: the state a batch must not disturb.
  std::string MakeStartingRegistry() {
    auto store = OpenStore();
    auto key = store->CreateKey(kMachine, u"Software\\Before");
    EXPECT_TRUE(key);
    EXPECT_EQ(store->SetValue(*key, u"Kept", kRegDword, Dword(1)), kSuccess);
    EXPECT_TRUE(store->CreateKey(kMachine, u"Software\\Before\\Sub"));
    return RegistryListing(*store, kMachine, u"");
  }

  // "ok" when SQLite finds the file whole and no row names a key that is not there.
  std::string Check() const {
    sqlite3* db = nullptr;
    std::string answer;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      auto collect = [](void* out, int columns, char** values, char**) {
        for (int i = 0; i < columns; ++i) {
          *static_cast<std::string*>(out) += values[i] ? values[i] : "NULL";
          *static_cast<std::string*>(out) += ' ';
        }
        return 0;
      };
      sqlite3_exec(db, "PRAGMA integrity_check; PRAGMA foreign_key_check;", collect, &answer,
                   nullptr);
    }
    sqlite3_close(db);
    return answer == "ok " ? "ok" : answer;
  }

  void Execute(const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(HostRegistryTest, ABatchNotEndedLeavesTheRegistryAsBefore) {
  const std::string before = MakeStartingRegistry();
  {
    auto store = OpenStore();
    ASSERT_EQ(store->BeginBatch(), kSuccess);
    ASSERT_EQ(store->DeleteKey(kMachine, u"Software\\Before"), kSuccess);
    for (int i = 0; i < 2000; ++i) {
      auto key = store->CreateKey(kMachine, u"Software\\Batch\\K" + WidenAscii(std::to_string(i)));
      ASSERT_TRUE(key);
      ASSERT_EQ(store->SetValue(*key, u"V", kRegBinary, std::string(500, 'x')), kSuccess);
    }
  }  // destroyed without EndBatch
  EXPECT_EQ(Check(), "ok");
  auto store = OpenStore();
  EXPECT_EQ(RegistryListing(*store, kMachine, u""), before);
}

// The child is killed while its batch has already spilled pages into the write-ahead log.
TEST_F(HostRegistryTest, AProgramKilledInTheMiddleOfABatchLeavesTheRegistryAsBefore) {
  const std::string before = MakeStartingRegistry();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    auto opened = HostRegistry::Open(path_);
    if (!opened || (*opened)->BeginBatch() != kSuccess) _exit(2);
    HostRegistry& store = **opened;
    if (store.DeleteKey(kMachine, u"Software\\Before") != kSuccess) _exit(3);
    const std::string data(1000, 'k');
    for (int i = 0; i < 1000000; ++i) {
      auto key = store.CreateKey(kMachine, u"Big\\K" + WidenAscii(std::to_string(i / 10)));
      if (!key || store.SetValue(*key, WidenAscii(std::to_string(i)), kRegBinary, data)) {
        _exit(4);
      }
      if (i == 20000 && write(ready[1], "x", 1) != 1) _exit(5);
    }
    _exit(6);  // never killed
  }
  close(ready[1]);
  char byte = 0;
  EXPECT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  EXPECT_EQ(Status(child), 1000 + SIGKILL);

  EXPECT_EQ(Check(), "ok");
  auto store = OpenStore();
  EXPECT_EQ(RegistryListing(*store, kMachine, u""), before);
  auto key = store->CreateKey(kMachine, u"After");
  ASSERT_TRUE(key) << "the dead program's lock is gone";
  EXPECT_EQ(store->SetValue(*key, u"", kRegDword, Dword(1)), kSuccess);
}

// A full disk (here a file-size limit) ends the batch's transaction half-way: what the
// program writes after that must not land on its own, and EndBatch must say so.
TEST_F(HostRegistryTest, WritesAfterABatchWasLostDoNotLandAlone) {
  const std::string before = MakeStartingRegistry();
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    auto opened = HostRegistry::Open(path_);
    if (!opened) _exit(2);
    HostRegistry& store = **opened;
    auto kept = store.OpenKey(kMachine, u"Software\\Before");
    if (!kept) _exit(3);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {1 << 20, 1 << 20};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || store.BeginBatch() != kSuccess) _exit(4);
    Result failure = kSuccess;
    for (int i = 0; i < 100000 && failure == kSuccess; ++i) {
      failure =
          store.SetValue(*kept, WidenAscii(std::to_string(i)), kRegBinary, std::string(1000, 'f'));
    }
    if (failure == kSuccess) _exit(5);
    store.SetValue(*kept, u"After", kRegDword, Dword(1));
    store.CreateKey(kMachine, u"AfterKey");
    _exit(store.EndBatch() == kSuccess ? 6 : 0);
  }
  EXPECT_EQ(Status(child), 0);
  EXPECT_EQ(Check(), "ok");
  auto store = OpenStore();
  EXPECT_EQ(RegistryListing(*store, kMachine, u""), before);
}

// Programs started together on a new device all open it, whichever of them makes it.
// (Switching a new file to WAL fails at once for one of two programs trying together;
// which one loses is chance, hence the rounds.)
TEST_F(HostRegistryTest, ProgramsOpeningANewRegistryTogetherAllSucceed) {
  constexpr int kRounds = 20;
  constexpr int kPrograms = 4;
  for (int round = 0; round < kRounds; ++round) {
    const std::string path = (folder_ / ("new" + std::to_string(round) + ".db")).string();
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    pid_t children[kPrograms];
    for (pid_t& child : children) {
      child = fork();
      ASSERT_NE(child, -1);
      if (child != 0) continue;
      close(start[1]);
      char go = 0;
      if (read(start[0], &go, 1) != 1) _exit(2);
      _exit(HostRegistry::Open(path) ? 0 : 3);
    }
    close(start[0]);
    EXPECT_EQ(write(start[1], "gogo", kPrograms), kPrograms);
    close(start[1]);
    for (pid_t child : children) ASSERT_EQ(Status(child), 0) << "round " << round;
  }
}

// Two programs start on a new device at once (both making the database) and each writes
// its values into one shared key, one transaction per value.
TEST_F(HostRegistryTest, TwoProgramsWritingAtOnceLoseNothing) {
  constexpr int kPrograms = 2;
  constexpr int kValuesEach = 10000;
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t children[kPrograms];
  for (int p = 0; p < kPrograms; ++p) {
    children[p] = fork();
    ASSERT_NE(children[p], -1);
    if (children[p] != 0) continue;
    close(start[1]);
    char go = 0;
    if (read(start[0], &go, 1) != 1) _exit(2);
    auto opened = HostRegistry::Open(path_);
    if (!opened) _exit(3);
    HostRegistry& store = **opened;
    for (int i = 0; i < kValuesEach; ++i) {
      // Made again for every value, so that both programs keep making the same key.
      auto key = store.CreateKey(kMachine, u"Shared\\Key");
      const std::string name = std::to_string(p) + "-" + std::to_string(i);
      if (!key) _exit(4);
      if (store.SetValue(*key, WidenAscii(name), kRegSz, name) != kSuccess) _exit(5);
    }
    _exit(0);
  }
  close(start[0]);
  EXPECT_EQ(write(start[1], "go", kPrograms), kPrograms);
  close(start[1]);
  for (pid_t child : children) EXPECT_EQ(Status(child), 0);

  EXPECT_EQ(Check(), "ok");
  auto store = OpenStore();
  auto records = store->ExportKeys(kMachine, u"Shared");
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 2u);
  const std::vector<RegistryValue>& values = (*records)[1].values;
  ASSERT_EQ(values.size(), static_cast<size_t>(kPrograms * kValuesEach));
  for (const RegistryValue& value : values) {
    ASSERT_EQ(value.data, Utf16ToUtf8(value.name));
  }
}

// Key ids kept from one operation to the next must not outlive a change another program
// made: here it deletes the key and makes one of the same name.
TEST_F(HostRegistryTest, KeysRemadeByAnotherProgramAreFound) {
  auto mine = OpenStore();
  auto other = OpenStore();
  for (const bool inBatch : {false, true}) {
    SCOPED_TRACE(inBatch ? "in a batch" : "outside a batch");
    ASSERT_TRUE(mine->CreateKey(kMachine, u"Cache\\Key"));
    ASSERT_EQ(other->DeleteKey(kMachine, u"Cache"), kSuccess);
    auto remade = other->CreateKey(kMachine, u"Cache\\Key");
    ASSERT_TRUE(remade);
    ASSERT_EQ(other->SetValue(*remade, u"Who", kRegDword, Dword(2)), kSuccess);

    if (inBatch) {
      ASSERT_EQ(mine->BeginBatch(), kSuccess);
    }
    auto key = mine->CreateKey(kMachine, u"Cache\\Key");
    ASSERT_TRUE(key);
    EXPECT_EQ(*key, *remade);
    EXPECT_EQ(mine->SetValue(*key, u"Mine", kRegDword, Dword(1)), kSuccess);
    if (inBatch) {
      ASSERT_EQ(mine->EndBatch(), kSuccess);
    }
    EXPECT_EQ(RegistryListing(*other, kMachine, u"Cache"),
              "HKLM\\Cache\nHKLM\\Cache\\Key Mine=4:01000000 Who=4:02000000");
  }
}

TEST_F(HostRegistryTest, FilesThatAreNoUsableRegistryAreRefusedByName) {
  const std::string notDatabase = (folder_ / "text.db").string();
  std::ofstream(notDatabase) << std::string(4096, 'x');
  const std::string foreign = (folder_ / "foreign.db").string();
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  MakeStartingRegistry();
  Execute("PRAGMA user_version = 2");

  const struct {
    const char* label;
    std::string path;
    const char* why;
  } cases[] = {
      {"missing folder", (folder_ / "none" / "registry.db").string(), "unable to open"},
      {"a folder", folder_.string(), "unable to open"},
      {"not a database", notDatabase, "not a database"},
      {"another program's database", foreign, "not a device registry"},
      {"a newer format", path_, "newer version of the program (registry format 2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto opened = HostRegistry::Open(c.path);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find("device registry " + c.path + ":"), std::string::npos)
        << opened.error();
    EXPECT_NE(opened.error().find(c.why), std::string::npos) << opened.error();
  }
  EXPECT_EQ(fs::file_size(notDatabase), 4096u) << "the text file was left as it was";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "SELECT * FROM keys", nullptr, nullptr, nullptr), SQLITE_ERROR)
      << "the other database was left as it was";
  std::string mode;
  sqlite3_exec(
      db, "PRAGMA journal_mode",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0];
        return 0;
      },
      &mode, nullptr);
  EXPECT_EQ(mode, "delete");
  sqlite3_close(db);
}

}  // namespace
}  // namespace varnisk::platform
