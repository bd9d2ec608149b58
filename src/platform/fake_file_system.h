#pragma once
// An in-memory device file system for tests: the same lookup rules as the host one
// (case-insensitive, "." and ".." kept inside the root), and a record of what was asked.

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace varnisk::platform {

// A new fake holds only the root folder "\". It has no storage card: "\Storage Card" is
// an ordinary name.
class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();

  Expected<uint32_t, Result> GetAttributes(std::u16string_view path) override;
  Expected<std::string, Result> ReadFile(std::u16string_view path,
                                         uint64_t maxBytes) override;
  Result WriteFile(std::u16string_view path, std::string_view bytes) override;
  Result CreateFolder(std::u16string_view path) override;
  Result DeleteFile(std::u16string_view path) override;
  Result RemoveFolder(std::u16string_view path) override;
  Expected<std::vector<FindEntry>, Result> FindFiles(std::u16string_view folder,
                                                     std::u16string_view pattern) override;
  Result CopyFile(std::u16string_view source, std::u16string_view destination) override;
  Result AppendFile(std::u16string_view path, std::string_view bytes) override;
  Result SetAttributes(std::u16string_view path, uint32_t attributes) override;
  Result DeleteTree(std::u16string_view path) override;
  // Inflates the file's bytes in memory as they are read.
  Expected<std::unique_ptr<GzipReader>, Result> OpenGzipReader(
      std::u16string_view path) override;
  // Holds the pieces and stores them in the file at Close (recorded as "close \x.txt",
  // which FailCall can make fail: then the file stays as it was created, empty).
  Expected<std::unique_ptr<FileWriter>, Result> CreateFileWriter(
      std::u16string_view path) override;

  // What was asked of the file system, one line per call with the paths as the caller
  // wrote them: "read \a.vks", "find \Docs *.txt", "copy \a.txt \b.txt", "append \log",
  // "setattributes \a.txt 1", "deletetree \Temp\*", "opengzip \a.tgz", "create \a.txt",
  // "close \a.txt".
  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }

  // Test set-up, not recorded: marks an existing file or folder read-only (or writable
  // again), as a host entry without write permission bits is.
  Result SetReadOnly(std::u16string_view path, bool readOnly = true);

  // Makes every later call recorded as call ("write \x.txt") fail with code and change
  // nothing, as a full disk or a locked file would.
  void FailCall(std::string call, Result code) { faults_[std::move(call)] = code; }

  // Every entry below the root, sorted, separated by single blanks; folders end in "\"
  // ("\Docs\ \Docs\ReadMe.txt").
  std::string Listing() const;

 private:
  struct Node {
    std::u16string name;
    bool folder = false;
    bool readOnly = false;
    std::string bytes;
    std::vector<Node> children;
  };
  struct Found;
  class Writer;

  // Records the call and answers the fault set for it, if any.
  Result Record(const char* verb, std::u16string_view path, std::string_view detail = "");
  Expected<Found, Result> Find(std::u16string_view path);
  // The file path names, created when missing; a folder or read-only file is refused.
  Expected<Node*, Result> WritableFile(std::u16string_view path);
  // Takes an existing entry out of its folder.
  static void Erase(const Found& found);
  static uint32_t AttributesOf(const Node& entry);
  static Node* Child(Node& folder, std::u16string_view name);
  static void List(const Node& folder, const std::string& prefix,
                   std::vector<std::string>& out);

  Node root_;
  std::vector<std::string> calls_;
  std::map<std::string, Result> faults_;
};

}  // namespace varnisk::platform
