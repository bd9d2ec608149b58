#include "files/rar_extract.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "unrar/unrar.h"

namespace varnisk::files {
namespace {

using engine::FakeApp;
using platform::FakeLibraries;

// A library that plays an archive of `entries` entries: what it was asked, one line a
// call, and the codes it is told to answer.
struct FakeUnrar {
  std::vector<std::string> calls;
  unsigned openResult = 0;
  int entries = 2;
  int failingEntry = -1;  // the entry whose processing fails with failCode
  int failCode = 0;
  int read = 0;
};
FakeUnrar unrarState;
int archiveToken;  // what the fake's archive handle points at

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return "null";
  std::string out;
  for (; *text != 0; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return out;
}

void* OpenArchive(unrar::OpenArchiveDataEx* data) {
  unrarState.calls.push_back("open " + Narrow(data->ArcNameW) + " mode " +
                             std::to_string(data->OpenMode) + " comment " +
                             std::to_string(data->CmtBufSize) +
                             (data->ArcName == nullptr && data->CmtBuf != nullptr ? "" : " bad"));
  data->OpenResult = unrarState.openResult;
  return unrarState.openResult == 0 ? &archiveToken : nullptr;
}
int ReadHeader(void* archive, unrar::HeaderData* header) {
  if (archive != &archiveToken || header->CmtBuf != nullptr) return unrar::kUnknownError;
  if (unrarState.read == unrarState.entries) return unrar::kEndArchive;
  ++unrarState.read;
  return 0;
}
int ProcessFile(void* archive, int operation, wchar_t* destPath, wchar_t* destName) {
  if (archive != &archiveToken) return unrar::kUnknownError;
  unrarState.calls.push_back("entry " + std::to_string(unrarState.read) + " operation " +
                             std::to_string(operation) + " to " + Narrow(destPath) + " " +
                             Narrow(destName));
  return unrarState.read == unrarState.failingEntry ? unrarState.failCode : 0;
}
int CloseArchive(void* archive) {
  unrarState.calls.push_back(archive == &archiveToken ? "close" : "close bad");
  return 0;
}

FakeLibraries::Exports UnrarExports() {
  return {FakeLibraries::Export(unrar::kOpenArchiveExName, OpenArchive),
          FakeLibraries::Export(unrar::kReadHeaderName, ReadHeader),
          FakeLibraries::Export(unrar::kProcessFileWName, ProcessFile),
          FakeLibraries::Export(unrar::kCloseArchiveName, CloseArchive)};
}

class RarExtractTest : public ::testing::Test {
 protected:
  RarExtractTest() {
    unrarState = FakeUnrar{};
    fake_.device.files.CreateFolder(u"\\Card");
    fake_.device.files.WriteFile(u"\\Card\\pack.rar", "archive");
    fake_.device.files.WriteFile(u"\\Card\\Other.RAR", "archive");
  }
  ~RarExtractTest() override {
    EXPECT_EQ(libraries().librariesHeld, 0) << "the library was not released";
    EXPECT_EQ(libraries().loansOut, 0) << "a lent path was not given back";
  }
  FakeLibraries& libraries() { return fake_.device.libraries; }

  FakeApp fake_;
};

TEST_F(RarExtractTest, ExtractsEveryEntryUntilTheLibrarySaysTheEnd) {
  libraries().AddModule(u"UnRAR", UnrarExports());
  EXPECT_EQ(fake_.Run("RARX \\Card\\pack.rar,\\Program Files\\Pack"), 10u);
  EXPECT_EQ(unrarState.calls,
            (std::vector<std::string>{
                "open lent:\\Card\\pack.rar mode 1 comment 16384",
                "entry 1 operation 2 to lent:\\Program Files\\Pack null",
                "entry 2 operation 2 to lent:\\Program Files\\Pack null", "close"}));
  // The destination is made before the library writes into it.
  auto attributes = fake_.device.files.GetAttributes(u"\\Program Files\\Pack");
  ASSERT_TRUE(attributes.has_value());
  EXPECT_TRUE(*attributes & platform::kAttributeDirectory);
}

TEST_F(RarExtractTest, TheLibrarysCodeEndsTheExtraction) {
  libraries().AddModule(u"UnRAR", UnrarExports());
  const struct {
    const char* name;
    unsigned openResult;
    int failingEntry;
    int failCode;
    const char* line;
    Result result;
    std::vector<std::string> calls;
  } cases[] = {
      {"archive refused at open", 13, -1, 0, "RARX \\Card\\pack.rar,\\Out", 13,
       {"open lent:\\Card\\pack.rar mode 1 comment 16384"}},
      {"encrypted second entry", 0, 2, unrar::kMissingPassword, "RARX \\Card\\pack.rar,\\Out", 22,
       {"open lent:\\Card\\pack.rar mode 1 comment 16384", "entry 1 operation 2 to lent:\\Out null",
        "entry 2 operation 2 to lent:\\Out null", "close"}},
      {"no destination is the root", 0, 1, unrar::kCreateFailed, "RARX \\Card\\pack.rar", 16,
       {"open lent:\\Card\\pack.rar mode 1 comment 16384", "entry 1 operation 2 to lent:\\ null",
        "close"}},
      {"missing archive", 0, -1, 0, "RARX \\Card\\none.rar,\\Out", unrar::kOpenFailed, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unrarState = FakeUnrar{};
    unrarState.openResult = c.openResult;
    unrarState.failingEntry = c.failingEntry;
    unrarState.failCode = c.failCode;
    EXPECT_EQ(fake_.Run(c.line), c.result);
    EXPECT_EQ(unrarState.calls, c.calls);
  }
}

TEST_F(RarExtractTest, WithoutTheLibraryNothingHappens) {
  EXPECT_EQ(fake_.Run("RARX \\Card\\pack.rar,\\Out"), kErrorDllNotFound);
  EXPECT_FALSE(fake_.device.files.GetAttributes(u"\\Out").has_value());
  FakeLibraries::Exports partial = UnrarExports();
  partial.pop_back();  // no RARCloseArchive
  libraries().AddModule(u"UnRAR", partial);
  EXPECT_EQ(fake_.Run("RARX \\Card\\pack.rar,\\Out"), kENoInterface);
  EXPECT_TRUE(unrarState.calls.empty());
}

TEST_F(RarExtractTest, DefaultCommandExtractsEveryMatchingArchive) {
  libraries().AddModule(u"UnRAR", UnrarExports());
  unrarState.entries = 0;
  EXPECT_EQ(fake_.Run("\\Card\\*.rar,\\Out"), 10u);
  EXPECT_EQ(unrarState.calls,
            (std::vector<std::string>{"open lent:\\Card\\Other.RAR mode 1 comment 16384", "close",
                                      "open lent:\\Card\\pack.rar mode 1 comment 16384", "close"}));
  EXPECT_EQ(libraries().loads, 2);  // loaded for each archive
}

}  // namespace
}  // namespace varnisk::files
