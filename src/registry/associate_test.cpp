#include "registry/associate.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::registry {
namespace {

using engine::FakeApp;
using platform::RootKey;

std::string ClassesRoot(FakeApp& fake) {
  return platform::RegistryListing(fake.device.registry, RootKey::kClassesRoot);
}

constexpr const char* kClassKeys =
    "HKCR\\Varnisk @=1:\"Varnisk\\0\"\n"
    "HKCR\\Varnisk\\DefaultIcon @=1:\"\\Windows\\Varnisk.exe,-101\\0\"\n"
    "HKCR\\Varnisk\\Shell\n"
    "HKCR\\Varnisk\\Shell\\Open\n"
    "HKCR\\Varnisk\\Shell\\Open\\Command @=1:\"\"\\Windows\\Varnisk.exe\" %1\\0\"";

TEST(AssociateFilesTest, AddAndRemove) {
  FakeApp fake;
  fake.Run("[HKCR\\.txt]\n\"Other\"=\"kept\"");
  EXPECT_EQ(fake.Run("ASOC .txt"), kSuccess);
  EXPECT_EQ(ClassesRoot(fake), std::string("HKCR\nHKCR\\.txt @=1:\"Varnisk\\0\" Other=1:\"kept\\0\"\n") +
                                   kClassKeys);
  EXPECT_EQ(fake.Run("ASOC !.txt"), kSuccess);
  EXPECT_EQ(ClassesRoot(fake), std::string("HKCR\n") + kClassKeys);
  EXPECT_EQ(fake.Run("ASOC !"), kSuccess);
  EXPECT_EQ(ClassesRoot(fake), "HKCR");
  EXPECT_EQ(fake.Run("ASOC !.none"), kErrorFileNotFound);
  EXPECT_EQ(fake.Run("ASOC"), kSuccess);
  EXPECT_EQ(ClassesRoot(fake), std::string("HKCR\n") + kClassKeys);
}

}  // namespace
}  // namespace varnisk::registry
