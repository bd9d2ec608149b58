#include "files/tar_extract.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "files/enumeration.h"
#include "files/file_routines.h"
#include "files/pax_path.h"

namespace varnisk::files {
namespace {

using platform::CodePages;
using platform::FileSystem;

constexpr size_t kBlockSize = 512;

// The header fields the reader uses: offsets within the block and lengths.
constexpr size_t kNameField = 0;
constexpr size_t kNameLength = 100;
constexpr size_t kSizeField = 124;
constexpr size_t kSizeLength = 12;
constexpr size_t kTypeField = 156;
constexpr size_t kMagicField = 257;
constexpr std::string_view kPosixMagic{"ustar\0", 6};  // the GNU format has "ustar  \0"
constexpr size_t kPrefixField = 345;
constexpr size_t kPrefixLength = 155;

// Stretches of file data are read up to this many bytes at a time: enough for a gzip
// reader to inflate straight into the buffer (zlib's does from twice its input buffer).
constexpr size_t kRunBytes = 128 * 1024;

// A long-name record's name and terminator fill the one block after its header.
constexpr uint64_t kMaxLongName = kBlockSize - 1;

// Whether an entry name (with "\" between its components) stays below the folder it is
// extracted into: not absolute, and no ".." component.
bool StaysBelow(std::u16string_view name) {
  if (name.empty() || name.front() == u'\\') return false;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find(u'\\', start);
    if (end == std::u16string_view::npos) end = name.size();
    if (name.substr(start, end - start) == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::string_view Terminated(const char* field, size_t length) {
  return {field, strnlen(field, length)};
}

// The archive read block by block. It holds the archive and at most one output file
// open; everything it keeps between blocks lives here, with no allocation per block.
// A block that fails to arrive (a read error) ends the extraction with kTarReadFailed.
class TarReader {
 public:
  TarReader(FileSystem& files, CodePages& codePages, platform::GzipReader& archive,
            std::u16string_view destination)
      : files_(files), codePages_(codePages), archive_(archive), destination_(destination) {}

  Result Run();

 private:
  // What the next block is: a header; a header whose own name gives way to the pending
  // name (from a long-name record or a pax "path"); or data of the current entry.
  enum class Phase { kHeader, kHeaderAfterLongName, kData };
  // The pending name, or a name too long for any device path, whose entry is passed over.
  enum class Pending { kNone, kName, kTooLong };
  enum class Step { kGoOn, kStop };

  Step DataRun();
  Step Block();
  Step TakeData(std::string_view data);
  Step EndOfData();
  Step Header();
  Step RegularFile();
  void Folder();
  Step LongName();
  void OtherEntry(char type);

  void TakeHeaderName();
  void TakePendingName();
  void SetName(std::u16string name);
  std::u16string_view OutputPath(bool folder);
  void EnsureFolderOf(std::u16string_view path);
  Step Stop(Result result) {
    result_ = result;
    return Step::kStop;
  }
  void CloseOutput();

  FileSystem& files_;
  CodePages& codePages_;
  platform::GzipReader& archive_;
  std::u16string_view destination_;

  char block_[kBlockSize];
  char nameBlock_[kBlockSize];
  std::unique_ptr<char[]> run_;  // kRunBytes, for stretches of data
  Phase phase_ = Phase::kHeader;
  uint64_t remaining_ = 0;  // data bytes of the current entry still to come
  bool lastPass_ = false;   // the loop ends after the current block
  std::unique_ptr<platform::FileWriter> output_;
  bool scanningPax_ = false;
  PaxPathScanner pax_;
  std::u16string name_;      // the current entry's name, "\" between components
  bool nameUsable_ = false;  // false: the entry is not to be written
  Pending pending_ = Pending::kNone;
  std::u16string pendingName_;
  std::string joined_;            // prefix "/" name of a POSIX header
  std::u16string path_;           // the current output path
  std::u16string ensuredFolder_;  // the folder part of the last file path made ready
  Result result_ = kSuccess;
};

Result TarReader::Run() {
  for (;;) {
    const Step step = phase_ == Phase::kData && remaining_ >= kBlockSize ? DataRun() : Block();
    if (step == Step::kStop) break;
    if (phase_ == Phase::kData && remaining_ == 0 && EndOfData() == Step::kStop) break;
    if (lastPass_) break;
  }
  CloseOutput();
  return result_;
}

// Most of an archive's bytes are file data: the whole blocks of an entry's data are read
// and written a stretch at a time, so that long stretches go from the decompressor to
// the file without being copied on the way. The outcome is that of reading block by
// block: a stretch cut short by the end of the data keeps its whole blocks only, and
// ends the extraction.
TarReader::Step TarReader::DataRun() {
  const size_t want =
      static_cast<size_t>(std::min<uint64_t>(remaining_ / kBlockSize * kBlockSize, kRunBytes));
  if (!run_) run_ = std::make_unique_for_overwrite<char[]>(kRunBytes);
  const auto n = archive_.Read(run_.get(), want);
  if (!n) return Stop(kTarReadFailed);
  const std::string_view data(run_.get(), *n / kBlockSize * kBlockSize);
  remaining_ -= data.size();
  if (*n != want) {
    lastPass_ = true;
    remaining_ = 0;
  }
  return TakeData(data);
}

// One block. A block shorter than 512 bytes is the last: its missing bytes read as
// zeros, and data in it is not written (only whole blocks are).
TarReader::Step TarReader::Block() {
  const auto n = archive_.Read(block_, kBlockSize);
  if (!n) return Stop(kTarReadFailed);
  if (*n != kBlockSize) {
    lastPass_ = true;
    remaining_ = 0;
    std::memset(block_ + *n, 0, kBlockSize - *n);
  }
  if (phase_ == Phase::kData) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(remaining_, kBlockSize));
    remaining_ -= count;
    return TakeData({block_, count});
  }
  // The end marker's first block, or the end of the data.
  if (*n == 0 || block_[0] == 0) return Step::kStop;
  return Header();
}

TarReader::Step TarReader::TakeData(std::string_view data) {
  if (output_) {
    // A lost piece leaves the file short of what the archive holds: reported, not passed.
    if (Result written = output_->Write(data)) return Stop(written);
  } else if (scanningPax_) {
    pax_.Take(data);
  }
  return Step::kGoOn;
}

// The current entry's data is complete: its file is closed, and a pax "path" just read
// names the next entry.
TarReader::Step TarReader::EndOfData() {
  if (output_) {
    const Result closed = output_->Close();
    output_.reset();
    if (closed != kSuccess) return Stop(closed);
  }
  if (scanningPax_) {
    scanningPax_ = false;
    if (pax_.found() == PaxPathScanner::Found::kPath) {
      pendingName_ = codePages_.ToUtf16(platform::kCodePageUtf8, pax_.path());
      pending_ = Pending::kName;
    } else if (pax_.found() == PaxPathScanner::Found::kTooLong) {
      pending_ = Pending::kTooLong;
    }
  }
  phase_ = pending_ == Pending::kNone ? Phase::kHeader : Phase::kHeaderAfterLongName;
  return Step::kGoOn;
}

TarReader::Step TarReader::Header() {
  if (phase_ == Phase::kHeaderAfterLongName) {
    TakePendingName();
  } else {
    TakeHeaderName();
  }
  phase_ = Phase::kHeader;
  const char type = block_[kTypeField];
  switch (type) {
    case '\0':
    case '0':
      return RegularFile();
    case '5':
      Folder();
      return Step::kGoOn;
    case 'K':  // a long link name, taken like a long name: the link after it is passed over
    case 'L':
      return LongName();
    default:
      OtherEntry(type);
      return Step::kGoOn;
  }
}

// The size field decides where the next header lies: one that is not a number ends the
// extraction, as nothing after it can be found.
TarReader::Step TarReader::RegularFile() {
  const uint64_t size = ParseOctalField({block_ + kSizeField, kSizeLength});
  if (size == kInvalidOctal) return Stop(kSuccess);
  remaining_ = size;
  phase_ = Phase::kData;
  // Old tar programs stored a folder as a file whose name ends in "/": it is made as a
  // folder, so that the entries inside it can be made too.
  if (name_.ends_with(u'\\')) {
    Folder();
    return Step::kGoOn;
  }
  const std::u16string_view path = OutputPath(false);
  if (path.empty()) return Step::kGoOn;
  EnsureFolderOf(path);
  auto writer = files_.CreateFileWriter(path);
  if (writer) output_ = std::move(*writer);
  return Step::kGoOn;
}

void TarReader::Folder() {
  const std::u16string_view path = OutputPath(true);
  if (!path.empty()) EnsureDirectories(files_, path);
}

// The name is in the block after the record's header. A record whose name would not fit
// that block still has its data passed over and the entry it names is not written: its
// path is beyond any the device takes.
TarReader::Step TarReader::LongName() {
  const uint64_t size = ParseOctalField({block_ + kSizeField, kSizeLength});
  if (size == kInvalidOctal) {
    lastPass_ = true;
    return Step::kGoOn;
  }
  if (size > kMaxLongName) {
    remaining_ = size;
    phase_ = Phase::kData;
    pending_ = Pending::kTooLong;
    return Step::kGoOn;
  }
  std::memset(nameBlock_, 0, kBlockSize);
  if (!archive_.Read(nameBlock_, kBlockSize)) return Stop(kTarLongNameReadFailed);
  const std::string_view name = Terminated(nameBlock_, kBlockSize);
  if (nameBlock_[kBlockSize - 1] != 0 || name.size() > size) {
    lastPass_ = true;
    return Step::kGoOn;
  }
  if (name.empty()) return Step::kGoOn;  // names nothing: the header's own name stands
  pendingName_ = codePages_.ToUtf16(platform::kCodePageAnsi, name);
  pending_ = Pending::kName;
  phase_ = Phase::kHeaderAfterLongName;
  return Step::kGoOn;
}

// Links, devices, pax headers and the rest make nothing. Their data, when the size field
// says they have some, is passed over rather than read as headers; a pax header's data
// is searched for the next entry's path on the way.
void TarReader::OtherEntry(char type) {
  const uint64_t size = ParseOctalField({block_ + kSizeField, kSizeLength});
  if (size == kInvalidOctal || size == 0) return;
  remaining_ = size;
  phase_ = Phase::kData;
  scanningPax_ = type == 'x';
  if (scanningPax_) pax_.Start();
}

// The name field, preceded by the prefix field in a POSIX header that uses it.
void TarReader::TakeHeaderName() {
  std::string_view name = Terminated(block_ + kNameField, kNameLength);
  if (std::string_view(block_ + kMagicField, kPosixMagic.size()) == kPosixMagic &&
      block_[kPrefixField] != 0) {
    joined_.assign(Terminated(block_ + kPrefixField, kPrefixLength));
    joined_ += '/';
    joined_ += name;
    name = joined_;
  }
  SetName(codePages_.ToUtf16(platform::kCodePageAnsi, name));
}

void TarReader::TakePendingName() {
  if (pending_ == Pending::kName) {
    SetName(std::move(pendingName_));
  } else {
    name_.clear();
    nameUsable_ = false;
  }
  pending_ = Pending::kNone;
}

void TarReader::SetName(std::u16string name) {
  std::replace(name.begin(), name.end(), u'/', u'\\');
  name_ = std::move(name);
  nameUsable_ = StaysBelow(name_);
}

// destination\name, with a final "\" for a folder; empty when the entry is not to be
// written or the path would not fit the device's 260-unit buffers.
std::u16string_view TarReader::OutputPath(bool folder) {
  if (!nameUsable_) return {};
  path_.assign(destination_);
  path_ += u'\\';
  path_ += name_;
  if (folder) path_ += u'\\';
  if (path_.size() > kMaxPathUnits) return {};
  return path_;
}

// The files of an archive mostly come folder by folder: each folder is made (or found)
// once, not once per file. Nothing the extraction does takes a folder away again.
void TarReader::EnsureFolderOf(std::u16string_view path) {
  const std::u16string_view folder = path.substr(0, path.rfind(u'\\') + 1);
  if (folder == ensuredFolder_) return;
  EnsureDirectories(files_, path);
  ensuredFolder_.assign(folder);
}

void TarReader::CloseOutput() {
  if (!output_) return;
  const Result closed = output_->Close();
  output_.reset();
  if (result_ == kSuccess) result_ = closed;
}

}  // namespace

uint64_t ParseOctalField(std::string_view field) {
  uint64_t value = 0;
  for (const char c : field) {
    if (c == '\0') break;
    if (c == ' ') continue;
    if (c < '0' || c > '7' || value > (kInvalidOctal >> 3)) return kInvalidOctal;
    value = value * 8 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

Result ExtractTarGz(FileSystem& files, CodePages& codePages, std::u16string_view archive,
                    std::u16string_view destination) {
  // The archive's path must fit the device's path buffer to be opened at all.
  if (archive.size() > kMaxPathUnits) return kTarOpenFailed;
  auto reader = files.OpenGzipReader(archive);
  if (!reader) return kTarOpenFailed;
  return TarReader(files, codePages, **reader, destination).Run();
}

}  // namespace varnisk::files
