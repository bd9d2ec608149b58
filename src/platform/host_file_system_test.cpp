// What only the host file system has to keep: no device path and no symbolic link planted
// in the device reaches a host file outside it, and the storage card folder.

#include "platform/host_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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
  // The link paths PlantLinksOut makes, as the device names them, in other cases too.
  static constexpr const char16_t* kLinksOut[] = {
      u"\\abs_file",     u"\\rel_file",     u"\\ABS_DIR",      u"\\rel_dir",
      u"\\sub\\deep_dir", u"\\dangling_abs", u"\\Dangling_Rel", u"\\dangling_dir",
      u"\\magic"};

  static std::string Read(FileSystem& files, std::u16string_view path) {
    auto bytes = files.ReadFile(path);
    return bytes ? *bytes : "error " + std::to_string(bytes.error());
  }

  // A search's names in order, folders ending in "\", read-only entries in brackets; or
  // "error N".
  static std::string Search(FileSystem& files, std::u16string_view folder,
                            std::u16string_view pattern = u"*") {
    const auto entries = files.FindFiles(folder, pattern);
    if (!entries) return "error " + std::to_string(entries.error());
    std::string out;
    for (const FindEntry& entry : *entries) {
      std::string name = Utf16ToUtf8(entry.name);
      if (entry.attributes & kAttributeDirectory) name += '\\';
      if (entry.attributes & kAttributeReadOnly) name = "[" + name + "]";
      out += (out.empty() ? "" : " ") + name;
    }
    return out;
  }

  // Puts decoys inside the device where the planted links land when the device folder is
  // taken as the host's "/"; returns the mirrored copy of the outside folder.
  fs::path PlantDecoys() {
    const fs::path mirrored = device_ / fs::relative(temp_ / "outside", "/");
    for (const fs::path& decoy : {device_ / "outside", mirrored}) {
      fs::create_directories(decoy / "folder");
      Put(decoy / "secret.txt", "decoy");
      Put(decoy / "folder" / "inner.txt", "inner decoy");
    }
    return mirrored;
  }

  static mode_t ModeOf(const fs::path& path) {
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
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

// A search lists a planted link under its own name, as what it leads to inside the device
// (here nothing, so a file), and never lists anything behind it outside.
TEST_F(HostFileSystemTest, SearchesNeverListWhatLinksOutLeadTo) {
  PlantLinksOut();
  auto files = OpenDevice();
  EXPECT_EQ(Search(*files, u"\\"),
            "abs_dir abs_file dangling_abs dangling_dir dangling_rel magic rel_dir rel_file "
            "sub\\");
  EXPECT_EQ(Search(*files, u"\\SUB", u"*.*"), "deep_dir");
  for (const char16_t* link : kLinksOut) {
    SCOPED_TRACE(Utf16ToUtf8(link));
    EXPECT_EQ(Search(*files, link), "error 3");
    EXPECT_EQ(Search(*files, std::u16string(link) + u"\\folder"), "error 3");
  }
}

// A link leading back to its own folder or to one above it is listed as a file, so that
// walking a tree through its folders ends; links to other folders stay folders.
TEST_F(HostFileSystemTest, LinksBackUpTheTreeAreListedAsFiles) {
  fs::create_directories(device_ / "A" / "B" / "C");
  fs::create_directories(device_ / "Other");
  const std::pair<const char*, std::string> links[] = {
      {"self", "."},          {"parent", ".."},   {"grandparent", "../.."},
      {"root", "/"},          {"absolute", "/A"}, {"sibling", "../../Other"},
      {"child", "C"},
  };
  for (const auto& [name, target] : links) fs::create_symlink(target, device_ / "A" / "B" / name);
  auto files = OpenDevice();
  EXPECT_EQ(Search(*files, u"\\a\\b"),
            "absolute C\\ child\\ grandparent parent root self sibling\\");
}

// Copies, appends and attribute changes through planted links never read or change a
// host file outside (TearDown compares every byte and mode there); writes may create
// files, but only inside the device.
TEST_F(HostFileSystemTest, WritesThroughLinksOutReachNothingOutside) {
  PlantLinksOut();
  Put(device_ / "mine.txt", "mine");
  auto files = OpenDevice();
  for (const char16_t* link : kLinksOut) {
    for (const char16_t* below : {u"", u"\\secret.txt", u"\\folder\\inner.txt"}) {
      const std::u16string path = link + std::u16string(below);
      SCOPED_TRACE(Utf16ToUtf8(path));
      EXPECT_NE(files->CopyFile(path, u"\\copy.txt"), kSuccess);
      EXPECT_NE(files->SetAttributes(path, kAttributeReadOnly), kSuccess);
      EXPECT_NE(files->SetAttributes(path, 0), kSuccess);
      (void)files->CopyFile(u"\\mine.txt", path);
      (void)files->AppendFile(path, " appended");
      const std::string bytes = Read(*files, path);
      EXPECT_TRUE(bytes.find("secret") == std::string::npos && bytes != "inner") << bytes;
    }
  }
  EXPECT_FALSE(fs::exists(device_ / "copy.txt"));
}

// Links resolve as if the device folder were the host's "/": copies, appends and
// attribute changes through them land on the decoys inside the device.
TEST_F(HostFileSystemTest, WritesBehindLinksReachOnlyTheDecoysInside) {
  PlantLinksOut();
  const fs::path mirrored = PlantDecoys();
  auto files = OpenDevice();
  EXPECT_EQ(files->CopyFile(u"\\REL_FILE", u"\\copy.txt"), kSuccess);
  EXPECT_EQ(Get(device_ / "copy.txt"), "decoy");
  EXPECT_EQ(files->CopyFile(u"\\copy.txt", u"\\dangling_abs"), kSuccess);
  EXPECT_EQ(Get(mirrored / "new.txt"), "decoy");
  EXPECT_EQ(files->AppendFile(u"\\abs_file", "+"), kSuccess);
  EXPECT_EQ(Get(mirrored / "secret.txt"), "decoy+");
  EXPECT_EQ(files->SetAttributes(u"\\rel_dir\\folder\\inner.txt", kAttributeReadOnly),
            kSuccess);
  EXPECT_EQ(ModeOf(device_ / "outside" / "folder" / "inner.txt") & 0222, 0u);
  EXPECT_TRUE(fs::is_symlink(device_ / "rel_dir"));
  EXPECT_EQ(Search(*files, u"\\abs_dir"), "folder\\ new.txt secret.txt");
  EXPECT_EQ(Search(*files, u"\\rel_dir"), "folder\\ secret.txt");
  EXPECT_EQ(Search(*files, u"\\Outside"), "folder\\ secret.txt");
}

// Deleting a tree acts on names inside the device only: a link inside it goes as a link,
// never the folder or file it leads to, and a tree behind a link is no folder to delete
// from unless it lies inside the device.
TEST_F(HostFileSystemTest, DeleteTreeRemovesLinksNeverWhatTheyLeadTo) {
  PlantLinksOut();
  fs::create_directories(device_ / "Tree" / "inner");
  const std::pair<const char*, std::string> links[] = {{"abs", (temp_ / "outside").string()},
                                                        {"rel", "../../../outside"}};
  for (const auto& [name, target] : links) {
    fs::create_symlink(target, device_ / "Tree" / "inner" / name);
  }
  Put(device_ / "Tree" / "inner" / "file.txt", "x");
  ASSERT_EQ(chmod((device_ / "Tree" / "inner").c_str(), 0555), 0);
  auto files = OpenDevice();
  const struct {
    const char* label;
    const char16_t* path;
    Result expected;
  } cases[] = {
      {"below a link to a folder", u"\\abs_dir\\secret.txt", kErrorPathNotFound},
      {"everything below a link", u"\\REL_DIR\\*", kErrorPathNotFound},
      {"below a deep link", u"\\sub\\deep_dir\\folder", kErrorPathNotFound},
      {"below a magic link", u"\\magic\\*", kErrorPathNotFound},
      {"a link to a folder", u"\\abs_dir", kSuccess},
      {"a dangling link", u"\\Dangling_Dir", kSuccess},
      {"a tree holding links out, in a read-only folder", u"\\tree", kSuccess},
      {"every remaining link", u"\\*", kSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(files->DeleteTree(c.path), c.expected);
  }
  EXPECT_TRUE(fs::is_empty(device_));
}

TEST_F(HostFileSystemTest, DeleteTreeBehindLinksReachesOnlyTheDecoysInside) {
  PlantLinksOut();
  const fs::path mirrored = PlantDecoys();
  auto files = OpenDevice();
  EXPECT_EQ(files->DeleteTree(u"\\rel_dir\\*"), kSuccess);
  EXPECT_EQ(files->DeleteTree(u"\\abs_dir\\Folder"), kSuccess);
  EXPECT_TRUE(fs::is_empty(device_ / "outside"));
  EXPECT_EQ(Get(mirrored / "secret.txt"), "decoy");
  EXPECT_FALSE(fs::exists(mirrored / "folder"));
  EXPECT_TRUE(fs::is_symlink(device_ / "rel_dir"));
  EXPECT_TRUE(fs::is_symlink(device_ / "abs_dir"));
}

TEST_F(HostFileSystemTest, ReadOnlyKeepsTheOtherPermissionBits) {
  auto files = OpenDevice();
  const struct {
    const char* name;
    bool folder;
    mode_t before;
    uint32_t attributes;
    mode_t after;
  } cases[] = {
      {"program made read-only", false, 0755, kAttributeReadOnly, 0555},
      {"program made writable", false, 0555, 0, 0777},
      {"private file made read-only", false, 0640, kAttributeReadOnly, 0440},
      {"writable file stays as it is", false, 0640, kAttributeArchive, 0640},
      {"read-only file stays as it is", false, 0400, kAttributeReadOnly, 0400},
      {"set-group-id folder made read-only", true, 02775, kAttributeReadOnly, 02555},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = device_ / c.name;
    if (c.folder)
      fs::create_directory(path);
    else
      Put(path, "x");
    ASSERT_EQ(chmod(path.c_str(), c.before), 0);
    EXPECT_EQ(files->SetAttributes(u"\\" + Utf8ToUtf16(c.name), c.attributes), kSuccess);
    EXPECT_EQ(ModeOf(path), c.after);
  }
}

// A copy keeps the source's run bit, so that a program copied on the device still runs.
TEST_F(HostFileSystemTest, CopyKeepsTheSourcePermissionBits) {
  Put(device_ / "tool", "#!/bin/sh\n");
  ASSERT_EQ(chmod((device_ / "tool").c_str(), 0750), 0);
  auto files = OpenDevice();
  ASSERT_EQ(files->CopyFile(u"\\TOOL", u"\\sub\\tool copy"), kSuccess);
  EXPECT_EQ(ModeOf(device_ / "sub" / "tool copy"), 0750u);
}

// Between two host file systems the kernel cannot copy, and the bytes go through a buffer.
TEST_F(HostFileSystemTest, CopyBetweenHostFileSystemsFallsBackToReadAndWrite) {
  std::string pattern = "/dev/shm/varnisk-card-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) GTEST_SKIP() << "no /dev/shm here";
  const struct RemovedAtEnd {
    fs::path path;
    ~RemovedAtEnd() { fs::remove_all(path); }
  } card{pattern};
  const std::string big = std::string(1 << 20, 'b') + "end";
  Put(device_ / "big.bin", big);
  auto files = HostFileSystem::Open(device_.string(), card.path.string());
  ASSERT_TRUE(files.has_value()) << files.error();
  EXPECT_EQ((*files)->CopyFile(u"\\big.bin", u"\\Storage Card\\big.bin"), kSuccess);
  EXPECT_EQ((*files)->CopyFile(u"\\storage card\\BIG.BIN", u"\\back.bin"), kSuccess);
  EXPECT_EQ(Get(card.path / "big.bin"), big);
  EXPECT_EQ(Get(device_ / "back.bin"), big);
}

// The card shows in the device's root in place of any host folder of its name; it can be
// searched and emptied but not deleted.
TEST_F(HostFileSystemTest, CardIsSearchedAndEmptiedButNeverDeleted) {
  fs::create_directories(device_ / "storage card");
  Put(device_ / "storage card" / "hidden.txt", "hidden by the card");
  fs::create_directories(card_ / "Apps");
  Put(card_ / "Apps" / "a.txt", "a");
  Put(card_ / "setup.vks", "script");
  auto files = OpenDevice(true);
  EXPECT_EQ(Search(*files, u"\\"), "Storage Card\\ sub\\");
  EXPECT_EQ(Search(*files, u"\\", u"st*"), "Storage Card\\");
  EXPECT_EQ(Search(*files, u"\\STORAGE CARD"), "Apps\\ setup.vks");
  EXPECT_EQ(files->DeleteTree(u"\\Storage Card"), kErrorAccessDenied);
  EXPECT_EQ(files->DeleteTree(u"\\sub\\..\\storage card\\"), kErrorAccessDenied);
  EXPECT_EQ(files->DeleteTree(u"\\storage*"), kErrorFileNotFound);
  EXPECT_EQ(files->DeleteTree(u"\\Storage Card\\*"), kSuccess);
  EXPECT_TRUE(fs::is_directory(card_));
  EXPECT_TRUE(fs::is_empty(card_));
  EXPECT_EQ(Get(device_ / "storage card" / "hidden.txt"), "hidden by the card");
}

// Names the host holds in several cases are all listed, in an order of their own.
TEST_F(HostFileSystemTest, SearchListsEveryCaseOfAName) {
  for (const char* variant : {"name.txt", "NAME.TXT", "Name.txt"}) {
    Put(device_ / "sub" / variant, variant);
  }
  auto files = OpenDevice();
  EXPECT_EQ(Search(*files, u"\\sub", u"NAME.txt"), "NAME.TXT Name.txt name.txt");
}

// The device shell runs a program from a descriptor that the started process inherits.
TEST_F(HostFileSystemTest, OpenForExecuteGivesAnInheritedReadOnlyDescriptor) {
  Put(device_ / "sub" / "Tool.sh", "#!/bin/sh\n");
  PlantLinksOut();
  auto files = OpenDevice();
  auto fd = files->OpenForExecute(u"\\SUB\\tool.SH");
  ASSERT_TRUE(fd.has_value()) << fd.error();
  EXPECT_EQ(fcntl(*fd, F_GETFD), 0);
  EXPECT_EQ(fcntl(*fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDONLY);
  char bytes[16] = {};
  EXPECT_EQ(read(*fd, bytes, sizeof bytes), 10);
  EXPECT_STREQ(bytes, "#!/bin/sh\n");
  close(*fd);
  const struct {
    const char16_t* path;
    Result expected;
  } refusals[] = {
      {u"\\sub", kErrorAccessDenied},
      {u"\\", kErrorAccessDenied},
      {u"\\sub\\none", kErrorFileNotFound},
      {u"\\none\\tool.sh", kErrorPathNotFound},
      {u"\\abs_file", kErrorFileNotFound},
      {u"\\rel_dir\\secret.txt", kErrorPathNotFound},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(Utf16ToUtf8(r.path));
    EXPECT_EQ(CodeOf(files->OpenForExecute(r.path)), r.expected);
  }
}

// Libraries open what they are lent through its /proc/self/fd name: that name must lead
// to the device entry and never out of the device.
TEST_F(HostFileSystemTest, LentEntriesAreReachedOnlyThroughTheirDescriptor) {
  Put(device_ / "sub" / "Pack.rar", "rar bytes");
  ASSERT_EQ(mkfifo((device_ / "pipe").c_str(), 0666), 0);
  PlantLinksOut();
  auto files = OpenDevice();
  const auto lent = [&](std::u16string_view path) {
    auto fd = files->OpenForLending(path);
    if (!fd) return "error " + std::to_string(fd.error());
    EXPECT_NE(fcntl(*fd, F_GETFD) & FD_CLOEXEC, 0);
    const std::string name = "/proc/self/fd/" + std::to_string(*fd);
    std::string seen = fs::is_directory(name) ? "folder" : Get(name);
    close(*fd);
    return seen;
  };
  EXPECT_EQ(lent(u"\\SUB\\pack.RAR"), "rar bytes");
  EXPECT_EQ(lent(u"\\Sub"), "folder");
  EXPECT_EQ(lent(u"\\"), "folder");
  EXPECT_EQ(lent(u"\\pipe"), "error 5");
  EXPECT_EQ(lent(u"\\sub\\none"), "error 2");
  for (const char16_t* path : kLinksOut) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    EXPECT_EQ(lent(path).rfind("error ", 0), 0u);
  }
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

// While a copy fills a folder, new names are taken from the remembered listing; names
// that exist, in any case, and names the host adds meanwhile are still found.
TEST_F(HostFileSystemTest, FillingAFolderStillFindsTheNamesInIt) {
  Put(device_ / "sub" / "Existing.txt", "old");
  Put(device_ / "source.txt", "new");
  auto files = OpenDevice();
  ASSERT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\first.txt"), kSuccess);
  EXPECT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\EXISTING.TXT"), kSuccess);
  Put(device_ / "sub" / "Host.TXT", "added on the host");
  EXPECT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\host.txt"), kSuccess);
  EXPECT_EQ(files->AppendFile(u"\\sub\\First.Txt", "+"), kSuccess);
  EXPECT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\second.txt"), kSuccess);
  EXPECT_EQ(files->WriteFile(u"\\sub\\Existing.txt", "exact"), kSuccess);
  EXPECT_EQ(Search(*files, u"\\sub"), "Existing.txt first.txt Host.TXT second.txt");
  EXPECT_EQ(Get(device_ / "sub" / "Existing.txt"), "exact");
  EXPECT_EQ(Get(device_ / "sub" / "Host.TXT"), "new");
  EXPECT_EQ(Get(device_ / "sub" / "first.txt"), "new+");
}

// A folder put in place of the one being filled is looked into afresh: its names are
// found in any case, and nothing lands in the folder that was moved away.
TEST_F(HostFileSystemTest, FolderReplacedWhileFillingIsLookedIntoAfresh) {
  Put(device_ / "source.txt", "new");
  auto files = OpenDevice();
  ASSERT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\first.txt"), kSuccess);
  fs::rename(device_ / "sub", device_ / "moved");
  fs::create_directory(device_ / "sub");
  Put(device_ / "sub" / "TWIN.TXT", "old");
  EXPECT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\twin.txt"), kSuccess);
  EXPECT_EQ(files->CopyFile(u"\\source.txt", u"\\sub\\second.txt"), kSuccess);
  EXPECT_EQ(Search(*files, u"\\sub"), "second.txt TWIN.TXT");
  EXPECT_EQ(Get(device_ / "sub" / "TWIN.TXT"), "new");
  EXPECT_EQ(Search(*files, u"\\moved"), "first.txt");
}

// A folder just made is known to be empty, until the host puts something in it; a tree
// deleted and made again holds only what is new.
TEST_F(HostFileSystemTest, NewAndDeletedFoldersAreListedTruly) {
  auto files = OpenDevice();
  ASSERT_EQ(files->CreateFolder(u"\\New"), kSuccess);
  ASSERT_EQ(files->WriteFile(u"\\new\\mine.txt", "mine"), kSuccess);
  Put(device_ / "New" / "Host.txt", "host");
  EXPECT_EQ(Read(*files, u"\\NEW\\HOST.TXT"), "host");
  EXPECT_EQ(files->WriteFile(u"\\new\\host.TXT", "rewritten"), kSuccess);
  EXPECT_EQ(Get(device_ / "New" / "Host.txt"), "rewritten");
  ASSERT_EQ(files->DeleteTree(u"\\new"), kSuccess);
  ASSERT_EQ(files->CreateFolder(u"\\NEW"), kSuccess);
  EXPECT_EQ(Read(*files, u"\\new\\mine.txt"), "error 2");
  EXPECT_EQ(files->WriteFile(u"\\new\\Mine.TXT", "again"), kSuccess);
  EXPECT_EQ(Search(*files, u"\\new"), "Mine.TXT");
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
