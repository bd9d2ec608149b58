// The behaviour every device registry shares, run against the host one (a database in a
// fresh temporary folder) and the in-memory fake, so that the fake cannot drift from the
// host.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake_registry.h"
#include "platform/host_registry.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

constexpr RootKey kMachine = RootKey::kLocalMachine;

// The bytes of a REG_SZ value: the text in UTF-16 with its terminating NUL.
std::string Sz(std::u16string_view text) {
  std::string bytes((text.size() + 1) * 2, '\0');
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

std::string Dword(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// A device registry on the host: registry.db in a new temporary folder, removed afterwards.
class HostWorld {
 public:
  HostWorld() {
    std::string pattern = (fs::temp_directory_path() / "varnisk-registry-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    folder_ = pattern;
    Reopen();
  }
  ~HostWorld() {
    store_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  RegistryStore& Store() { return *store_; }

  // Closes the database and opens it again, as the next program on the device does.
  void Reopen() {
    store_.reset();
    auto opened = HostRegistry::Open((folder_ / "registry.db").string());
    if (!opened) ADD_FAILURE() << opened.error();
    store_ = std::move(*opened);
  }

 private:
  fs::path folder_;
  std::unique_ptr<HostRegistry> store_;
};

class FakeWorld {
 public:
  RegistryStore& Store() { return store_; }

 private:
  FakeRegistry store_;
};

template <typename World>
class RegistryContract : public testing::Test {
 protected:
  RegistryStore& Store() { return world_.Store(); }

  KeyHandle Create(std::u16string_view path, RootKey root = kMachine) {
    auto key = Store().CreateKey(root, path);
    EXPECT_TRUE(key) << "create " << Utf16ToUtf8(path) << ": error "
                     << (key ? kSuccess : key.error());
    return key.value_or(0);
  }
  // The key's handle, or the error code when it cannot be opened.
  Expected<KeyHandle, Result> Open(std::u16string_view path, RootKey root = kMachine) {
    return Store().OpenKey(root, path);
  }
  void Set(KeyHandle key, std::u16string_view name, uint32_t type, std::string_view data) {
    EXPECT_EQ(Store().SetValue(key, name, type, data), kSuccess) << Utf16ToUtf8(name);
  }
  // The value as "type:bytes", or "error N".
  std::string Get(KeyHandle key, std::u16string_view name) {
    uint32_t type = 0;
    uint32_t size = 0;
    if (Result r = Store().QueryValue(key, name, &type, nullptr, 0, &size)) {
      return "error " + std::to_string(r);
    }
    std::string data(size, '\0');
    if (Result r = Store().QueryValue(key, name, &type, data.data(), size, &size)) {
      return "error " + std::to_string(r);
    }
    return std::to_string(type) + ":" + data;
  }
  std::string Listing(std::u16string_view path = u"", RootKey root = kMachine) {
    return RegistryListing(Store(), root, path);
  }

  World world_;
};

class WorldNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, HostWorld> ? "Host" : "Fake";
  }
};

using Worlds = testing::Types<HostWorld, FakeWorld>;
TYPED_TEST_SUITE(RegistryContract, Worlds, WorldNames);

TYPED_TEST(RegistryContract, NewRegistryHoldsFourEmptyRoots) {
  for (RootKey root : {RootKey::kClassesRoot, RootKey::kCurrentUser, RootKey::kLocalMachine,
                       RootKey::kUsers}) {
    SCOPED_TRACE(static_cast<uint32_t>(root));
    auto records = this->Store().ExportKeys(root, u"");
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ((*records)[0].root, root);
    EXPECT_EQ((*records)[0].path, u"");
    EXPECT_TRUE((*records)[0].values.empty());
  }
}

TYPED_TEST(RegistryContract, CreateKeyMakesEveryMissingLevel) {
  const KeyHandle app = this->Create(u"Software\\Maker\\App");
  EXPECT_EQ(this->Listing(u"Software"),
            "HKLM\\Software\nHKLM\\Software\\Maker\nHKLM\\Software\\Maker\\App");
  EXPECT_EQ(this->Create(u"Software\\Maker\\App"), app);
  EXPECT_EQ(this->Open(u"Software\\Maker\\App").value_or(0), app);
  EXPECT_TRUE(this->Open(u"Software\\Maker"));
  EXPECT_EQ(this->Listing(u"", RootKey::kCurrentUser), "HKCU") << "only HKLM changed";
}

// Empty levels are passed over: "" and "\" are the root, as "[HKEY_LOCAL_MACHINE\]" is.
TYPED_TEST(RegistryContract, SpellingsOfOnePathNameOneKey) {
  const KeyHandle maker = this->Create(u"Software\\Maker");
  const KeyHandle root = this->Create(u"");
  const std::string before = this->Listing();
  const struct {
    const char* label;
    const char16_t* path;
    KeyHandle expected;
  } cases[] = {
      {"as made", u"Software\\Maker", maker},
      {"other case", u"SOFTWARE\\maker", maker},
      {"leading backslash", u"\\Software\\Maker", maker},
      {"trailing backslash", u"Software\\Maker\\", maker},
      {"doubled backslash", u"Software\\\\Maker", maker},
      {"empty path", u"", root},
      {"lone backslash", u"\\", root},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(this->Open(c.path).value_or(0), c.expected);
    EXPECT_EQ(this->Create(c.path), c.expected);
  }
  EXPECT_EQ(this->Listing(), before) << "no key was made";
}

TYPED_TEST(RegistryContract, OpeningAMissingKeyFailsAndMakesNothing) {
  this->Create(u"Software\\Maker\\App");
  const std::string before = this->Listing();
  const char16_t* paths[] = {
      u"Nowhere",
      u"Software\\Nowhere",
      u"Software\\Maker\\App\\Deeper",
      u"Software\\Make",
      u"Software\\Makers",
      u"Nowhere\\Maker\\App",
  };
  for (const char16_t* path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    auto key = this->Open(path);
    ASSERT_FALSE(key);
    EXPECT_EQ(key.error(), kErrorFileNotFound);
    EXPECT_EQ(this->Store().DeleteKey(kMachine, path), kErrorFileNotFound);
    EXPECT_EQ(this->Listing(path), "error 2");
  }
  EXPECT_EQ(this->Listing(), before);
}

// Key and value names compare as the device folds case (platform::UpperCase), no more
// and no less, and keep the case they were first given.
TYPED_TEST(RegistryContract, NamesIgnoreCaseAndKeepTheirFirstCase) {
  const struct {
    const char* label;
    const char16_t* first;
    const char16_t* second;
    bool same;
  } cases[] = {
      {"ascii", u"Maker", u"mAKER", true},
      {"latin-1", u"Ärger", u"äRGER", true},
      {"cyrillic", u"Привет", u"пРИВЕТ", true},
      {"greek", u"Ωμεγα", u"ωΜΕΓΑ", true},
      {"full width", u"ａｂ", u"ＡＢ", true},
      {"chinese", u"文件", u"文件", true},
      {"latin extended-b is not folded", u"ƀ", u"Ƀ", false},
      {"sharp s is not SS", u"SS", u"ß", false},
      {"different names", u"One", u"Two", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::u16string parent = u"Case\\" + Utf8ToUtf16(c.label);
    this->Create(parent + u"\\" + c.first);
    const KeyHandle second = this->Create(parent + u"\\" + c.second);
    this->Set(second, c.first, kRegDword, Dword(1));
    this->Set(second, c.second, kRegDword, Dword(2));

    auto records = this->Store().ExportKeys(kMachine, parent);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), c.same ? 2u : 3u);
    EXPECT_EQ((*records)[1].path, parent + u"\\" + c.first);
    const std::vector<RegistryValue>& values = records->back().values;
    ASSERT_EQ(values.size(), c.same ? 1u : 2u);
    if (c.same) {
      EXPECT_EQ(values[0].name, c.first);
      EXPECT_EQ(values[0].data, Dword(2)) << "the later value replaced the first";
    }
    EXPECT_EQ(this->Get(second, c.second), "4:" + Dword(2));
  }
}

TYPED_TEST(RegistryContract, NamesKeepEveryUnit) {
  const std::u16string names[] = {
      std::u16string(u"nul\0inside", 10),
      u"\xD800 lone surrogate",
      u"\xFEFF leading byte-order mark",
      u"\xFFFE leading swapped byte-order mark",
      u"trailing blank ",
  };
  for (const std::u16string& name : names) {
    SCOPED_TRACE(Utf16ToUtf8(name));
    const KeyHandle key = this->Create(u"Units\\" + name);
    this->Set(key, name, kRegSz, Sz(name));
    this->Set(key, u"back\\slash", kRegSz, Sz(u"x"));
    auto records = this->Store().ExportKeys(kMachine, u"Units\\" + name);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ((*records)[0].path, u"Units\\" + name);
    ASSERT_EQ((*records)[0].values.size(), 2u);
    EXPECT_EQ((*records)[0].values[0].name, u"back\\slash");
    EXPECT_EQ((*records)[0].values[1].name, name);
    EXPECT_EQ(this->Get(key, name), "1:" + Sz(name));
  }
}

TYPED_TEST(RegistryContract, ValuesKeepTheirTypeAndBytes) {
  std::string large(1 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 251);
  const struct {
    const char* label;
    uint32_t type;
    std::string data;
  } cases[] = {
      {"string", kRegSz, Sz(u"Hello, 世界")},
      {"string of odd length", kRegSz, "abc"},
      {"dword", kRegDword, Dword(0xDEADBEEF)},
      {"binary with NUL and high bytes", kRegBinary, std::string("\0\xff\x80z\0", 5)},
      {"empty", kRegBinary, ""},
      {"multi string", kRegMultiSz, Sz(std::u16string(u"a\0b\0", 4))},
      {"a megabyte", kRegBinary, large},
      {"type 0", 0, "none"},
      {"type no platform names", 0xFEDCBA98, "x"},
  };
  const KeyHandle key = this->Create(u"Types");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    this->Set(key, u"Value", kRegDword, Dword(7));
    this->Set(key, u"Value", c.type, c.data);
    EXPECT_EQ(this->Get(key, u"value"), std::to_string(c.type) + ":" + c.data);
    auto records = this->Store().ExportKeys(kMachine, u"Types");
    ASSERT_TRUE(records);
    ASSERT_EQ((*records)[0].values.size(), 1u);
    EXPECT_EQ((*records)[0].values[0].type, c.type);
    EXPECT_EQ((*records)[0].values[0].data, c.data);
  }
}

TYPED_TEST(RegistryContract, DefaultValueIsTheEmptyName) {
  const KeyHandle key = this->Create(u"Defaults");
  EXPECT_EQ(this->Get(key, u""), "error 2");
  this->Set(key, u"Named", kRegSz, Sz(u"named"));
  this->Set(key, u"", kRegSz, Sz(u"default"));
  EXPECT_EQ(this->Get(key, u""), "1:" + Sz(u"default"));
  EXPECT_EQ(this->Listing(u"Defaults"),
            "HKLM\\Defaults @=1:\"default\\0\" Named=1:\"named\\0\"");
  EXPECT_EQ(this->Store().DeleteValue(key, u""), kSuccess);
  EXPECT_EQ(this->Listing(u"Defaults"), "HKLM\\Defaults Named=1:\"named\\0\"");
}

// A missing value leaves every output alone; a buffer too small gets nothing written
// but learns the type and the size it needs.
TYPED_TEST(RegistryContract, QueryValueFillsTheBufferOnlyWhenAllOfItFits) {
  const KeyHandle key = this->Create(u"Query");
  this->Set(key, u"Name", kRegBinary, "abcde");
  this->Set(key, u"Empty", kRegSz, "");
  constexpr uint32_t kUnsetType = 0xEEEE;
  constexpr uint32_t kUnsetSize = 0xDDDD;
  const struct {
    const char* label;
    const char16_t* name;
    bool withBuffer;
    uint32_t capacity;
    Result result;
    uint32_t type;
    uint32_t size;
    std::string buffer;
  } cases[] = {
      {"exact fit", u"Name", true, 5, kSuccess, kRegBinary, 5, "abcde###"},
      {"room to spare", u"NAME", true, 8, kSuccess, kRegBinary, 5, "abcde###"},
      {"one byte short", u"Name", true, 4, kErrorMoreData, kRegBinary, 5, "########"},
      {"no room", u"name", true, 0, kErrorMoreData, kRegBinary, 5, "########"},
      {"size only", u"Name", false, 0, kSuccess, kRegBinary, 5, "########"},
      {"empty value", u"Empty", true, 0, kSuccess, kRegSz, 0, "########"},
      {"missing value", u"None", true, 8, kErrorFileNotFound, kUnsetType, kUnsetSize,
       "########"},
      {"missing default", u"", true, 8, kErrorFileNotFound, kUnsetType, kUnsetSize,
       "########"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string buffer(8, '#');
    uint32_t type = kUnsetType;
    uint32_t size = kUnsetSize;
    EXPECT_EQ(this->Store().QueryValue(key, c.name, &type, c.withBuffer ? buffer.data() : nullptr,
                                       c.capacity, &size),
              c.result);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(buffer, c.buffer);
  }
  char buffer[8];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(this->Store().QueryValue(key, u"Name", nullptr, buffer, sizeof buffer, &size),
            kSuccess)
      << "the type may be left out";
  EXPECT_EQ(this->Store().QueryValue(key, u"Name", nullptr, buffer, sizeof buffer, nullptr),
            kErrorInvalidParameter)
      << "a buffer needs a size";
}

TYPED_TEST(RegistryContract, DeleteValueRemovesOneValue) {
  const KeyHandle key = this->Create(u"Values");
  this->Set(key, u"A", kRegDword, Dword(1));
  this->Set(key, u"AB", kRegDword, Dword(2));
  EXPECT_EQ(this->Store().DeleteValue(key, u"a"), kSuccess);
  EXPECT_EQ(this->Listing(u"Values"), "HKLM\\Values AB=4:02000000");
  EXPECT_EQ(this->Store().DeleteValue(key, u"A"), kErrorFileNotFound);
  EXPECT_EQ(this->Store().DeleteValue(key, u""), kErrorFileNotFound);
  EXPECT_EQ(this->Listing(u"Values"), "HKLM\\Values AB=4:02000000");
}

TYPED_TEST(RegistryContract, DeleteKeyRemovesEverythingBelowIt) {
  const KeyHandle app = this->Create(u"Software\\App");
  const KeyHandle deep = this->Create(u"Software\\App\\Sub\\Deep");
  this->Set(app, u"", kRegSz, Sz(u"app"));
  this->Set(deep, u"Level", kRegDword, Dword(3));
  for (const char16_t* sibling : {u"Software\\Apps", u"Software\\App2", u"Software\\Other"}) {
    this->Set(this->Create(sibling), u"Kept", kRegDword, Dword(1));
  }

  EXPECT_EQ(this->Store().DeleteKey(kMachine, u"SOFTWARE\\app"), kSuccess);
  EXPECT_EQ(this->Listing(u"Software"),
            "HKLM\\Software\nHKLM\\Software\\App2 Kept=4:01000000\n"
            "HKLM\\Software\\Apps Kept=4:01000000\nHKLM\\Software\\Other Kept=4:01000000");
  EXPECT_EQ(this->Open(u"Software\\App\\Sub").error(), kErrorFileNotFound);
  EXPECT_EQ(this->Store().DeleteKey(kMachine, u"Software\\App"), kErrorFileNotFound);

  // Handles to the deleted keys fail cleanly, even once a key of the same name is back.
  const KeyHandle again = this->Create(u"Software\\App\\Sub\\Deep");
  EXPECT_NE(again, deep);
  for (KeyHandle stale : {app, deep}) {
    SCOPED_TRACE(stale == app ? "App" : "Deep");
    EXPECT_EQ(this->Store().SetValue(stale, u"Level", kRegDword, Dword(9)), kErrorFileNotFound);
    EXPECT_EQ(this->Get(stale, u"Level"), "error 2");
    EXPECT_EQ(this->Store().DeleteValue(stale, u"Level"), kErrorFileNotFound);
    EXPECT_EQ(this->Listing(u"Software\\App"),
              "HKLM\\Software\\App\nHKLM\\Software\\App\\Sub\nHKLM\\Software\\App\\Sub\\Deep");
  }
}

TYPED_TEST(RegistryContract, RootsCannotBeDeleted) {
  this->Set(this->Create(u"Kept"), u"Value", kRegDword, Dword(1));
  for (const char16_t* path : {u"", u"\\", u"\\\\"}) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(this->Store().DeleteKey(kMachine, path), kErrorAccessDenied);
  }
  EXPECT_EQ(this->Listing(), "HKLM\nHKLM\\Kept Value=4:01000000");
}

TYPED_TEST(RegistryContract, NullHandleAndUnknownRootAreRefused) {
  const RootKey unknown = static_cast<RootKey>(0x80000009);
  char buffer[4];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(this->Store().SetValue(0, u"x", kRegDword, Dword(1)), kErrorInvalidHandle);
  EXPECT_EQ(this->Store().QueryValue(0, u"x", nullptr, buffer, sizeof buffer, &size),
            kErrorInvalidHandle);
  EXPECT_EQ(this->Store().DeleteValue(0, u"x"), kErrorInvalidHandle);
  EXPECT_EQ(this->Store().CreateKey(unknown, u"x").error(), kErrorInvalidHandle);
  EXPECT_EQ(this->Store().OpenKey(unknown, u"").error(), kErrorInvalidHandle);
  EXPECT_EQ(this->Store().DeleteKey(unknown, u"x"), kErrorInvalidHandle);
  EXPECT_EQ(this->Store().ExportKeys(unknown, u"").error(), kErrorInvalidHandle);
  EXPECT_EQ(this->Listing(), "HKLM") << "nothing was made";
}

// Parents before children, siblings and values in CompareNoCase order, the default value
// first: "A", "A\z", "AB", not the order of the whole paths ("AB" before "A\z").
TYPED_TEST(RegistryContract, ExportListsKeysInTreeOrder) {
  for (const char16_t* path : {u"Order\\b", u"Order\\A\\z", u"Order\\AB", u"Order\\_x",
                               u"Order\\Ärger", u"Order\\C\\2", u"Order\\C\\10",
                               u"Order\\c\\1", u"Order\\a"}) {
    this->Create(path);
  }
  const KeyHandle order = this->Create(u"ORDER");
  for (const char16_t* name : {u"b", u"_", u"A", u"a2", u"", u"B1"}) {
    this->Set(order, name, kRegBinary, "");
  }
  EXPECT_EQ(this->Listing(u"order"),
            "HKLM\\Order @=3: A=3: a2=3: b=3: B1=3: _=3:\n"
            "HKLM\\Order\\A\nHKLM\\Order\\A\\z\nHKLM\\Order\\AB\nHKLM\\Order\\b\n"
            "HKLM\\Order\\C\nHKLM\\Order\\C\\1\nHKLM\\Order\\C\\10\nHKLM\\Order\\C\\2\n"
            "HKLM\\Order\\_x\nHKLM\\Order\\Ärger");
  EXPECT_EQ(this->Listing(u"\\ORDER\\c\\"),
            "HKLM\\Order\\C\nHKLM\\Order\\C\\1\nHKLM\\Order\\C\\10\nHKLM\\Order\\C\\2")
      << "a subtree is listed with the stored names from the root";
}

TYPED_TEST(RegistryContract, ExportOfARootHoldsItsOwnValues) {
  const KeyHandle root = this->Create(u"", RootKey::kCurrentUser);
  this->Set(root, u"Top", kRegDword, Dword(5));
  this->Create(u"Sub", RootKey::kCurrentUser);
  EXPECT_EQ(this->Listing(u"", RootKey::kCurrentUser), "HKCU Top=4:05000000\nHKCU\\Sub");
  EXPECT_EQ(this->Listing(u"", RootKey::kUsers), "HKU");
}

TYPED_TEST(RegistryContract, DeepKeysAreMadeListedAndDeleted) {
  // Deeper than SQLite follows cascading deletes or a careless recursion goes.
  constexpr int kDepth = 1500;
  std::u16string path = u"Deep";
  for (int i = 1; i < kDepth; ++i) path += u"\\L";
  this->Set(this->Create(path), u"Bottom", kRegDword, Dword(1));
  auto records = this->Store().ExportKeys(kMachine, u"Deep");
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), static_cast<size_t>(kDepth));
  EXPECT_EQ(records->back().path, path);
  EXPECT_EQ(records->back().values.size(), 1u);
  EXPECT_EQ(this->Store().DeleteKey(kMachine, u"Deep"), kSuccess);
  EXPECT_EQ(this->Listing(), "HKLM");
}

TYPED_TEST(RegistryContract, BatchesDoNotNest) {
  EXPECT_EQ(this->Store().EndBatch(), kErrorInvalidFunction);
  ASSERT_EQ(this->Store().BeginBatch(), kSuccess);
  EXPECT_EQ(this->Store().BeginBatch(), kErrorInvalidFunction);
  const KeyHandle key = this->Create(u"Batch\\Key");
  this->Set(key, u"Inside", kRegDword, Dword(1));
  EXPECT_EQ(this->Get(key, u"inside"), "4:" + Dword(1)) << "a batch reads its own writes";
  EXPECT_EQ(this->Store().DeleteKey(kMachine, u"Batch\\Key"), kSuccess);
  this->Set(this->Create(u"Batch\\Key"), u"Again", kRegDword, Dword(2));
  EXPECT_EQ(this->Store().EndBatch(), kSuccess);
  EXPECT_EQ(this->Store().EndBatch(), kErrorInvalidFunction);
  EXPECT_EQ(this->Listing(u"Batch"), "HKLM\\Batch\nHKLM\\Batch\\Key Again=4:02000000");
}

TYPED_TEST(RegistryContract, ACancelledBatchLeavesNothingBehind) {
  this->Set(this->Create(u"Kept"), u"Before", kRegDword, Dword(1));
  ASSERT_EQ(this->Store().BeginBatch(), kSuccess);
  this->Set(this->Create(u"Kept"), u"During", kRegDword, Dword(2));
  this->Create(u"Kept\\New\\Deeper");
  EXPECT_EQ(this->Store().DeleteValue(*this->Store().OpenKey(kMachine, u"Kept"), u"Before"),
            kSuccess);
  EXPECT_EQ(this->Store().CancelBatch(), kSuccess);
  EXPECT_EQ(this->Store().CancelBatch(), kErrorInvalidFunction);
  EXPECT_EQ(this->Listing(u"Kept"), "HKLM\\Kept Before=4:01000000");
  // The store goes on working after the cancelled batch.
  this->Set(this->Create(u"Kept\\New"), u"After", kRegDword, Dword(3));
  EXPECT_EQ(this->Listing(u"Kept"), "HKLM\\Kept Before=4:01000000\nHKLM\\Kept\\New After=4:03000000");
}

// What one program wrote, the next one reads.
TEST(HostRegistryContract, WhatWasWrittenIsThereAfterReopening) {
  HostWorld world;
  RegistryStore& before = world.Store();
  auto key = before.CreateKey(kMachine, u"Software\\Maker");
  ASSERT_TRUE(key);
  ASSERT_EQ(before.SetValue(*key, u"Name", kRegSz, Sz(u"Värde")), kSuccess);
  ASSERT_EQ(before.SetValue(*key, u"Bytes", kRegBinary, std::string("\0\xff", 2)), kSuccess);
  ASSERT_EQ(before.BeginBatch(), kSuccess);
  auto batched = before.CreateKey(kMachine, u"Software\\Batched");
  ASSERT_TRUE(batched);
  ASSERT_EQ(before.SetValue(*batched, u"", kRegDword, Dword(1)), kSuccess);
  ASSERT_EQ(before.EndBatch(), kSuccess);
  const std::string listing = RegistryListing(before, kMachine, u"");

  world.Reopen();
  EXPECT_EQ(RegistryListing(world.Store(), kMachine, u""), listing);
  EXPECT_EQ(listing,
            "HKLM\nHKLM\\Software\nHKLM\\Software\\Batched @=4:01000000\n"
            "HKLM\\Software\\Maker Bytes=3:00ff Name=1:\"Värde\\0\"");
}

// The fake's own fault helpers, on which other layers' tests rely.
TEST(FakeRegistry, FailWriteFailsOnlyTheNthWrite) {
  FakeRegistry store;
  auto key = store.CreateKey(kMachine, u"Key");
  ASSERT_TRUE(key);
  store.FailWrite(2, kErrorWriteFault);
  EXPECT_EQ(store.SetValue(*key, u"First", kRegDword, Dword(1)), kSuccess);
  EXPECT_EQ(store.SetValue(*key, u"Second", kRegDword, Dword(2)), kErrorWriteFault);
  EXPECT_EQ(store.SetValue(*key, u"Third", kRegDword, Dword(3)), kSuccess);
  EXPECT_EQ(RegistryListing(store, kMachine, u"Key"),
            "HKLM\\Key First=4:01000000 Third=4:03000000");
}

TEST(FakeRegistry, AFailedOrAbandonedBatchLeavesTheRegistryAsBefore) {
  FakeRegistry store;
  auto key = store.CreateKey(kMachine, u"Key");
  ASSERT_TRUE(key);
  ASSERT_EQ(store.SetValue(*key, u"Before", kRegDword, Dword(1)), kSuccess);
  const std::string before = RegistryListing(store, kMachine, u"");

  ASSERT_EQ(store.BeginBatch(), kSuccess);
  ASSERT_TRUE(store.CreateKey(kMachine, u"Other"));
  ASSERT_EQ(store.DeleteKey(kMachine, u"Key"), kSuccess);
  store.FailWrite(1, kErrorWriteFault);
  EXPECT_EQ(store.EndBatch(), kErrorWriteFault);
  EXPECT_EQ(RegistryListing(store, kMachine, u""), before);

  ASSERT_EQ(store.BeginBatch(), kSuccess);
  ASSERT_EQ(store.DeleteValue(*key, u"Before"), kSuccess);
  store.AbandonBatch();
  EXPECT_EQ(RegistryListing(store, kMachine, u""), before);
  EXPECT_EQ(store.BeginBatch(), kSuccess) << "the abandoned batch is over";
}

}  // namespace
}  // namespace varnisk::platform
