#pragma once
// The device's file system on the host: a folder (DEV/files) that is the device's root
// "\", and optionally a host folder shown on the device as "\Storage Card".

#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace varnisk::platform {

struct CopyBatch;
class HostFolderIndex;
class UniqueFd;
class WriteBufferPool;

// Every host file it touches lies inside the device folder (or the card folder for card
// paths): lookups resolve symbolic links as if the folder were "/", and creations happen
// through an opened parent folder. Owns the two folder descriptors; not for use from
// several threads at once.
class HostFileSystem : public FileSystem {
 public:
  // Opens the device's root folder filesRoot (a host path); cardRoot, when not empty, is
  // the host folder shown as "\Storage Card". Fails with a message naming the folder.
  static Expected<std::unique_ptr<HostFileSystem>, std::string> Open(
      const std::string& filesRoot, const std::string& cardRoot);
  ~HostFileSystem() override;

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
  std::vector<Result> CopyFiles(std::span<const FileCopy> copies) override;
  Result AppendFile(std::u16string_view path, std::string_view bytes) override;
  Result SetAttributes(std::u16string_view path, uint32_t attributes) override;
  Result DeleteTree(std::u16string_view path) override;
  // zlib's gzip reader on the confined descriptor, with an input buffer of 64 KiB.
  Expected<std::unique_ptr<GzipReader>, Result> OpenGzipReader(
      std::u16string_view path) override;
  // The confined creation of WriteFile; pieces are gathered into writes of up to 128 KiB.
  Expected<std::unique_ptr<FileWriter>, Result> CreateFileWriter(
      std::u16string_view path) override;

  // Opens the file for the device shell to run: read-only, and inherited by a program the
  // shell starts (no close-on-exec). Confined like every other open; the caller closes the
  // descriptor. A folder gives kErrorAccessDenied.
  Expected<int, Result> OpenForExecute(std::u16string_view path);

  // Opens the file for reading by a host library (the sound decoder): read-only, closed on
  // exec, confined like every other open; the caller closes the descriptor. A folder
  // gives kErrorAccessDenied.
  Expected<int, Result> OpenForRead(std::u16string_view path);

  // Opens the existing file or folder only to name it (O_PATH, closed on exec), so that a
  // host library handed its /proc/self/fd name opens exactly that entry. Confined like
  // every other open; the caller closes the descriptor. Anything but a file or a folder
  // (a pipe, a device node) gives kErrorAccessDenied.
  Expected<int, Result> OpenForLending(std::u16string_view path);

 private:
  HostFileSystem(int rootFd, int cardFd);
  // A regular file opened read-only and blocking; inherited by programs started later
  // when inherited is set.
  Expected<int, Result> OpenReadable(std::u16string_view path, bool inherited);
  // The existing regular file at path opened read-only (not blocking), its status in st;
  // anything else is kErrorAccessDenied.
  Expected<UniqueFd, Result> OpenFile(std::u16string_view path, struct stat& st);
  HostFileSystem(const HostFileSystem&) = delete;
  bool PrepareBatch(std::span<const FileCopy> copies, CopyBatch& batch);
  HostFileSystem& operator=(const HostFileSystem&) = delete;

  int rootFd_;
  int cardFd_;  // -1 without a card
  // Folder listings for case-blind lookups, shared by both folder trees.
  std::unique_ptr<HostFolderIndex> index_;
  std::unique_ptr<WriteBufferPool> writeBuffers_;
};

}  // namespace varnisk::platform
