// What only the host file system has to keep: no device path and no symbolic link planted
// in the device reaches a host file outside it, and the storage card folder.

#include "platform/host_file_system.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/file_system_testing.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

// A temporary area TEMP holding the device folder TEMP/device, a card folder TEMP/card and,
// beside them, the sentinel TEMP/outside that no device operation may read or change.
class HostFileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-host-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    temp_ = pattern;
    device_ = temp_ / "device";
    card_ = temp_ / "card";
    fs::create_directories(device_ / "sub");
    fs::create_directories(card_);
    fs::create_directories(temp_ / "outside" / "folder");
    Put(temp_ / "outside" / "secret.txt", "secret");
    Put(temp_ / "outside" / "folder" / "inner.txt", "inner");
    outsideBefore_ = Outside();
  }
  void TearDown() override {
    EXPECT_EQ(Outside(), outsideBefore_) << "something outside the device changed";
    std::error_code ignored;
    fs::remove_all(temp_, ignored);
  }

  static void Put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const fs::path& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
  }

  // Everything in the temporary area but the device and card folders: each entry's kind,
  // mode and bytes or link target.
  std::map<std::string, std::string> Outside() const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(temp_); it != fs::end(it); ++it) {
      if (it->path() == device_ || it->path() == card_) {
        it.disable_recursion_pending();
        continue;
      }
      struct stat st;
      lstat(it->path().c_str(), &st);
      std::string& entry = entries[it->path().string()];
      entry = std::to_string(st.st_mode) + " ";
      if (it->is_symlink())
        entry += fs::read_symlink(it->path()).string();
      else if (it->is_regular_file())
        entry += Get(it->path());
    }
    return entries;
  }

  std::unique_ptr<HostFileSystem> OpenDevice(bool withCard = false) {
    auto files = HostFileSystem::Open(device_.string(), withCard ? card_.string() : "");
    EXPECT_TRUE(files.has_value()) << files.error();
    return files ? std::move(*files) : nullptr;
  }

  std::u16string Temp() const { return Utf8ToUtf16(temp_.string()); }

  // Links aiming out of the device, from its root unless the name says otherwise.
  void PlantLinksOut() {
    const std::string outside = (temp_ / "outside").string();
    const std::pair<const char*, std::string> links[] = {
        {"abs_file", outside + "/secret.txt"},
        {"rel_file", "../outside/secret.txt"},
        {"abs_dir", outside},
        {"rel_dir", "../outside"},
        {"sub/deep_dir", "../../../../../../../../../.." + outside},
        {"dangling_abs", outside + "/new.txt"},
        {"dangling_rel", "../outside/new.txt"},
        {"dangling_dir", outside + "/newdir"},
        {"magic", "/proc/self/root" + outside},
    };
    for (const auto& [name, target] : links) fs::create_symlink(target, device_ / name);
  }

  static std::string Read(FileSystem& files, std::u16string_view path) {
    auto bytes = files.ReadFile(path);
    return bytes ? *bytes : "error " + std::to_string(bytes.error());
  }

  fs::path temp_, device_, card_;
  std::map<std::string, std::string> outsideBefore_;
};

TEST_F(HostFileSystemTest, PathsAimedOutsideNameMissingFoldersInside) {
  auto files = OpenDevice();
  const std::u16string paths[] = {
      u"\\..\\outside\\secret.txt",
      u"..\\..\\..\\outside\\secret.txt",
      u"\\sub\\..\\..\\..\\outside\\folder\\inner.txt",
      Temp() + u"/outside/secret.txt",
      u"\\..\\..\\..\\..\\..\\.." + Temp() + u"\\OUTSIDE\\SECRET.TXT",
      u"/proc/self/root" + Temp() + u"/outside/secret.txt",
  };
  for (const std::u16string& path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(Read(*files, path), "error 3");
    EXPECT_EQ(CodeOf(files->GetAttributes(path)), kErrorPathNotFound);
    EXPECT_EQ(files->WriteFile(path, "changed"), kErrorPathNotFound);
    EXPECT_EQ(files->CreateFolder(path + u"\\new"), kErrorPathNotFound);
    EXPECT_EQ(files->DeleteFile(path), kErrorPathNotFound);
    EXPECT_EQ(files->RemoveFolder(path), kErrorPathNotFound);
  }
  // Host system files only ever read: a fault here must not damage the machine.
  for (const char16_t* path :
       {u"/etc/passwd", u"\\..\\..\\etc\\passwd", u"..\\ETC\\PASSWD"}) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(Read(*files, path), "error 3");
  }
  EXPECT_TRUE(fs::is_empty(device_ / "sub"));
}

// With nothing inside the device where the links land, nothing can be read through them;
// writing through them may create files, but only inside the device (TearDown checks).
TEST_F(HostFileSystemTest, LinksOutOfTheDeviceReachNothingOutside) {
  PlantLinksOut();
  auto opened = OpenDevice();
  FileSystem* files = opened.get();
  const char16_t* links[] = {u"abs_file",     u"rel_file",      u"abs_dir",
                             u"REL_DIR",      u"sub\\deep_dir", u"dangling_abs",
                             u"DANGLING_REL", u"dangling_dir",  u"magic"};
  const char16_t* belows[] = {u"", u"\\secret.txt", u"\\folder\\inner.txt", u"\\new.txt"};
  std::vector<std::u16string> paths;
  for (const char16_t* link : links) {
    for (const char16_t* below : belows)
      paths.push_back(u"\\" + std::u16string(link) + below);
  }
  for (const std::u16string& path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_NE(CodeOf(files->ReadFile(path)), kSuccess);
    EXPECT_NE(CodeOf(files->GetAttributes(path)), kSuccess);
  }
  for (const std::u16string& path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    (void)files->WriteFile(path, "changed");
    (void)files->CreateFolder(path + u"\\newdir");
    const std::string bytes = Read(*files, path);
    EXPECT_TRUE(bytes != "secret" && bytes != "inner") << bytes;
  }
  // A link's name is taken even when nothing is behind it.
  EXPECT_EQ(files->CreateFolder(u"\\Dangling_Dir"), kErrorAlreadyExists);
}

// Links resolve as if the device folder were the host's "/": they land on the decoys
// planted inside the device, and only those are read and written.
TEST_F(HostFileSystemTest, LinksResolveAsIfTheDeviceWereTheHostRoot) {
  PlantLinksOut();
  const fs::path mirrored = device_ / fs::relative(temp_ / "outside", "/");
  for (const fs::path& decoy : {device_ / "outside", mirrored}) {
    fs::create_directories(decoy / "folder");
    Put(decoy / "secret.txt", "decoy");
    Put(decoy / "folder" / "inner.txt", "inner decoy");
  }
  auto files = OpenDevice();
  const struct {
    const char16_t* path;
    const char* expected;
  } reads[] = {
      {u"\\abs_file", "decoy"},
      {u"\\REL_FILE", "decoy"},
      {u"\\abs_dir\\secret.txt", "decoy"},
      {u"\\Rel_Dir\\Folder\\Inner.TXT", "inner decoy"},
      {u"\\sub\\deep_dir\\secret.txt", "decoy"},
      {u"\\magic\\secret.txt", "error 3"},  // "/proc" is a missing folder of the device
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(Utf16ToUtf8(r.path));
    EXPECT_EQ(Read(*files, r.path), r.expected);
  }
  EXPECT_EQ(files->WriteFile(u"\\abs_file", "written"), kSuccess);
  EXPECT_EQ(files->WriteFile(u"\\dangling_rel", "new"), kSuccess);
  EXPECT_EQ(files->WriteFile(u"\\DANGLING_ABS", "new"), kSuccess);
  EXPECT_EQ(files->CreateFolder(u"\\abs_dir\\made"), kSuccess);
  EXPECT_EQ(Get(mirrored / "secret.txt"), "written");
  EXPECT_EQ(Get(device_ / "outside" / "new.txt"), "new");
  EXPECT_EQ(Get(mirrored / "new.txt"), "new");
  EXPECT_TRUE(fs::is_directory(mirrored / "made"));
}

enum class Removal { kDeleteFile, kRemoveFolder };

// Removes one name of the device per row, in order, and says what the device answered.
struct RemovalCase {
  const char* label;
  Removal removal;
  const char16_t* path;
  Result expected;
};

void RunRemovals(FileSystem& files, const std::vector<RemovalCase>& cases) {
  for (const RemovalCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.removal == Removal::kDeleteFile ? files.DeleteFile(c.path)
                                                : files.RemoveFolder(c.path),
              c.expected);
  }
}

// Deleting through a planted link removes at most the link itself: what it aims at
// outside stays (TearDown checks), and a link is judged by what the device sees there.
TEST_F(HostFileSystemTest, RemovalsThroughLinksOutOfTheDeviceRemoveOnlyLinks) {
  PlantLinksOut();
  auto files = OpenDevice();
  RunRemovals(
      *files,
      {
          {"file below a link to a folder", Removal::kDeleteFile, u"\\abs_dir\\secret.txt",
           kErrorPathNotFound},
          {"folder below a link", Removal::kRemoveFolder, u"\\REL_DIR\\folder",
           kErrorPathNotFound},
          {"below a deep link", Removal::kDeleteFile, u"\\sub\\deep_dir\\folder\\inner.txt",
           kErrorPathNotFound},
          {"below a magic link", Removal::kDeleteFile, u"\\magic\\secret.txt",
           kErrorPathNotFound},
          {"a link is never removed as a folder", Removal::kRemoveFolder, u"\\dangling_dir",
           kErrorAccessDenied},
          {"link to a file", Removal::kDeleteFile, u"\\abs_file", kSuccess},
          {"relative link to a file", Removal::kDeleteFile, u"\\Rel_File", kSuccess},
          {"dangling link", Removal::kDeleteFile, u"\\DANGLING_ABS", kSuccess},
          {"link to a folder, which leads nowhere inside", Removal::kDeleteFile, u"\\abs_dir",
           kSuccess},
      });
  for (const char* gone : {"abs_file", "rel_file", "dangling_abs", "abs_dir"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(device_ / gone))) << gone;
  }
  for (const char* kept : {"rel_dir", "dangling_dir", "magic", "sub/deep_dir"}) {
    EXPECT_TRUE(fs::is_symlink(device_ / kept)) << kept;
  }
}

// With decoys inside the device where the links land, removals behind the links reach
// the decoys; links shown as folders stay, and a read-only target keeps its link.
TEST_F(HostFileSystemTest, RemovalsBehindLinksReachOnlyTheDecoysInside) {
  PlantLinksOut();
  const fs::path mirrored = device_ / fs::relative(temp_ / "outside", "/");
  for (const fs::path& decoy : {device_ / "outside", mirrored}) {
    fs::create_directories(decoy / "folder");
    Put(decoy / "secret.txt", "decoy");
    Put(decoy / "folder" / "inner.txt", "inner decoy");
  }
  ASSERT_EQ(chmod((device_ / "outside" / "secret.txt").c_str(), 0444), 0);
  auto files = OpenDevice();
  RunRemovals(
      *files,
      {
          {"link to a read-only file", Removal::kDeleteFile, u"\\rel_file", kErrorAccessDenied},
          {"link shown as a folder is not a file", Removal::kDeleteFile, u"\\Abs_Dir",
           kErrorAccessDenied},
          {"link shown as a folder is not removed", Removal::kRemoveFolder, u"\\rel_dir",
           kErrorAccessDenied},
          {"link to a file", Removal::kDeleteFile, u"\\abs_file", kSuccess},
          {"file behind a link to a folder", Removal::kDeleteFile, u"\\abs_dir\\secret.txt",
           kSuccess},
          {"folder behind a link, still full", Removal::kRemoveFolder, u"\\rel_dir\\Folder",
           kErrorDirNotEmpty},
          {"file in it", Removal::kDeleteFile, u"\\rel_dir\\folder\\INNER.TXT", kSuccess},
          {"folder behind a link, now empty", Removal::kRemoveFolder, u"\\rel_dir\\folder",
           kSuccess},
      });
  EXPECT_FALSE(fs::exists(fs::symlink_status(device_ / "abs_file")));
  EXPECT_FALSE(fs::exists(mirrored / "secret.txt"));
  EXPECT_EQ(Get(device_ / "outside" / "secret.txt"), "decoy");
  EXPECT_FALSE(fs::exists(device_ / "outside" / "folder"));
  EXPECT_TRUE(fs::is_symlink(device_ / "rel_file"));
  EXPECT_TRUE(fs::is_symlink(device_ / "abs_dir"));
  EXPECT_TRUE(fs::is_symlink(device_ / "rel_dir"));
}

TEST_F(HostFileSystemTest, PermissionBitsGiveTheAttributes) {
  auto files = OpenDevice();
  const struct {
    const char* name;
    bool folder;
    mode_t mode;
    const char* expected;
  } cases[] = {
      {"rw-r--r--", false, 0644, "archive"},
      {"r--r--r--", false, 0444, "readonly archive"},
      {"---------", false, 0000, "readonly archive"},
      {"-w-------", false, 0200, "archive"},
      {"-----w---", false, 0020, "archive"},
      {"folder rwxr-xr-x", true, 0755, "directory"},
      {"folder r-xr-xr-x", true, 0555, "readonly directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = device_ / c.name;
    if (c.folder)
      fs::create_directory(path);
    else
      Put(path, "x");
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    EXPECT_EQ(AttributeNames(*files, u"\\" + Utf8ToUtf16(c.name)), c.expected);
  }
}

// Names the host holds in several cases: each is found in its own case, whether the whole
// path matches ("\sub\...") or an earlier name needs the case-blind walk ("\SUB\...").
TEST_F(HostFileSystemTest, ExactCaseWinsWhenANameExistsInSeveralCases) {
  const char* variants[] = {"name.txt", "NAME.TXT", "Name.txt", "nAME.txt", "naME.TxT"};
  for (const char* variant : variants) Put(device_ / "sub" / variant, variant);
  auto files = OpenDevice();
  for (const char* variant : variants) {
    SCOPED_TRACE(variant);
    EXPECT_EQ(Read(*files, u"\\sub\\" + Utf8ToUtf16(variant)), variant);
    EXPECT_EQ(Read(*files, u"\\SUB\\" + Utf8ToUtf16(variant)), variant);
    EXPECT_EQ(files->WriteFile(u"\\Sub\\" + Utf8ToUtf16(variant), "rewritten"), kSuccess);
    EXPECT_EQ(Get(device_ / "sub" / variant), "rewritten");
  }
  EXPECT_EQ(
      std::distance(fs::directory_iterator(device_ / "sub"), fs::directory_iterator()), 5);
}

// Case-blind lookups remember folder listings; a change made on the host behind the
// device's back must still be seen.
TEST_F(HostFileSystemTest, FolderChangedOnTheHostIsReadAgain) {
  auto files = OpenDevice();
  Put(device_ / "sub" / "Old.txt", "old");
  ASSERT_EQ(files->WriteFile(u"\\SUB\\first.txt", "1"), kSuccess);  // the listing is read
  Put(device_ / "sub" / "Added.TXT", "added on the host");
  fs::remove(device_ / "sub" / "Old.txt");
  EXPECT_EQ(Read(*files, u"\\sub\\added.txt"), "added on the host");
  EXPECT_EQ(Read(*files, u"\\sub\\old.txt"), "error 2");
  EXPECT_EQ(files->WriteFile(u"\\sub\\ADDED.txt", "rewritten"), kSuccess);
  EXPECT_EQ(files->WriteFile(u"\\sub\\OLD.txt", "new"), kSuccess);
  EXPECT_EQ(Get(device_ / "sub" / "Added.TXT"), "rewritten");
  EXPECT_EQ(Get(device_ / "sub" / "OLD.txt"), "new");
  EXPECT_EQ(files->CreateFolder(u"\\sub\\FIRST.TXT"), kErrorAlreadyExists);
  EXPECT_EQ(
      std::distance(fs::directory_iterator(device_ / "sub"), fs::directory_iterator()), 3);
}

// A removal keeps the remembered listing true: a name the host holds in another case
// answers once its twin is gone, and a name the host added behind the device's back is
// still found after a removal in the same folder.
TEST_F(HostFileSystemTest, RemovalKeepsCaseBlindLookupsTrue) {
  Put(device_ / "sub" / "name.txt", "lower");
  Put(device_ / "sub" / "NAME.TXT", "upper");
  auto files = OpenDevice();
  ASSERT_EQ(files->WriteFile(u"\\SUB\\first.txt", "1"), kSuccess);  // the listing is read
  EXPECT_EQ(files->DeleteFile(u"\\sub\\name.txt"), kSuccess);
  EXPECT_EQ(Read(*files, u"\\SUB\\Name.Txt"), "upper");
  Put(device_ / "sub" / "Added.TXT", "added on the host");
  EXPECT_EQ(files->DeleteFile(u"\\sub\\first.txt"), kSuccess);
  EXPECT_EQ(Read(*files, u"\\SUB\\added.txt"), "added on the host");
  EXPECT_EQ(Read(*files, u"\\SUB\\FIRST.TXT"), "error 2");
  EXPECT_EQ(files->DeleteFile(u"\\Sub\\name.txt"), kSuccess);
  EXPECT_EQ(Read(*files, u"\\SUB\\name.txt"), "error 2");
  EXPECT_EQ(files->DeleteFile(u"\\Sub\\ADDED.txt"), kSuccess);
  EXPECT_TRUE(fs::is_empty(device_ / "sub"));
}

// A pipe planted in the device would block a plain open for ever.
TEST_F(HostFileSystemTest, PipeIsNeitherReadNorWritten) {
  ASSERT_EQ(mkfifo((device_ / "pipe").c_str(), 0666), 0);
  auto files = OpenDevice();
  EXPECT_EQ(Read(*files, u"\\PIPE"), "error 5");
  EXPECT_EQ(files->WriteFile(u"\\pipe", "x"), kErrorAccessDenied);
}

TEST_F(HostFileSystemTest, CardFolderIsShownAsStorageCard) {
  fs::create_symlink("/", card_ / "up");
  fs::create_symlink("../device", card_ / "to_device");
  Put(device_ / "root.txt", "device root");
  auto files = OpenDevice(true);
  EXPECT_EQ(files->WriteFile(u"\\Storage Card\\x.txt", "on card"), kSuccess);
  EXPECT_EQ(Get(card_ / "x.txt"), "on card");
  EXPECT_EQ(AttributeNames(*files, u"\\STORAGE CARD"), "directory");
  EXPECT_EQ(files->CreateFolder(u"\\storage card"), kErrorAlreadyExists);
  const struct {
    const char16_t* path;
    const char* expected;
  } reads[] = {
      {u"\\storage card\\X.TXT", "on card"},
      {u"Storage Card/x.txt", "on card"},
      {u"\\Storage Card\\..\\root.txt", "device root"},
      {u"\\Storage Card\\..\\..\\Storage Card\\x.txt", "on card"},
      {u"\\Storage Card\\up\\x.txt", "on card"},  // the card's "/" is the card folder
      {u"\\Storage Card\\up\\root.txt", "error 2"},
      {u"\\Storage Card\\to_device\\root.txt", "error 3"},
      {u"\\sub\\..\\Storage Card\\x.txt", "on card"},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(Utf16ToUtf8(r.path));
    EXPECT_EQ(Read(*files, r.path), r.expected);
  }
}

TEST_F(HostFileSystemTest, WithoutACardStorageCardIsAnOrdinaryName) {
  auto files = OpenDevice();
  EXPECT_EQ(files->WriteFile(u"\\Storage Card\\x.txt", "x"), kErrorPathNotFound);
  EXPECT_EQ(files->CreateFolder(u"\\Storage Card"), kSuccess);
  EXPECT_EQ(files->WriteFile(u"\\STORAGE CARD\\x.txt", "x"), kSuccess);
  EXPECT_EQ(Get(device_ / "Storage Card" / "x.txt"), "x");
  EXPECT_TRUE(fs::is_empty(card_));
}

TEST_F(HostFileSystemTest, OpenNamesTheFolderItCannotOpen) {
  Put(temp_ / "plain.txt", "x");
  const struct {
    const char* label;
    std::string files, card, named;
  } cases[] = {
      {"missing device", (temp_ / "none").string(), "", (temp_ / "none").string()},
      {"device is a file", (temp_ / "plain.txt").string(), "",
       (temp_ / "plain.txt").string()},
      {"missing card", device_.string(), (temp_ / "nocard").string(),
       (temp_ / "nocard").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto files = HostFileSystem::Open(c.files, c.card);
    ASSERT_FALSE(files.has_value());
    EXPECT_NE(files.error().find(c.named), std::string::npos) << files.error();
  }
  fs::remove(temp_ / "plain.txt");
}

}  // namespace
}  // namespace varnisk::platform
