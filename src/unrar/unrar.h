#pragma once
// The interface of the UnRAR library as it is published: the records, codes and entry
// points that a program extracting RAR archives through it uses. The records keep the
// published layout (packed, natural sizes of this host: wchar_t of 4 bytes and pointers
// of 8 on Linux), so that a program and a library built apart agree on them.

#include <cstdint>

namespace varnisk::unrar {

// Codes of the entry points: 0 for success, otherwise one of these.
constexpr int kEndArchive = 10;       // ERAR_END_ARCHIVE: no more entries
constexpr int kNoMemory = 11;         // ERAR_NO_MEMORY
constexpr int kBadData = 12;          // ERAR_BAD_DATA: damaged headers or data
constexpr int kBadArchive = 13;       // ERAR_BAD_ARCHIVE: not a RAR archive
constexpr int kUnknownFormat = 14;    // ERAR_UNKNOWN_FORMAT
constexpr int kOpenFailed = 15;       // ERAR_EOPEN: the archive cannot be opened
constexpr int kCreateFailed = 16;     // ERAR_ECREATE: an output cannot be created
constexpr int kCloseFailed = 17;      // ERAR_ECLOSE
constexpr int kReadFailed = 18;       // ERAR_EREAD
constexpr int kWriteFailed = 19;      // ERAR_EWRITE
constexpr int kSmallBuffer = 20;      // ERAR_SMALL_BUF
constexpr int kUnknownError = 21;     // ERAR_UNKNOWN
constexpr int kMissingPassword = 22;  // ERAR_MISSING_PASSWORD: an entry is encrypted

// Open modes.
constexpr unsigned kOpenList = 0;     // RAR_OM_LIST
constexpr unsigned kOpenExtract = 1;  // RAR_OM_EXTRACT

// Operations of RARProcessFileW.
constexpr int kSkip = 0;     // RAR_SKIP
constexpr int kTest = 1;     // RAR_TEST
constexpr int kExtract = 2;  // RAR_EXTRACT

// Flags of RARHeaderData.
constexpr unsigned kHeaderEncrypted = 0x04;  // RHDF_ENCRYPTED
constexpr unsigned kHeaderDirectory = 0x20;  // RHDF_DIRECTORY

#pragma pack(push, 1)

// RAROpenArchiveDataEx: what RAROpenArchiveEx is given and answers.
struct OpenArchiveDataEx {
  char* ArcName;        // the archive's path in narrow characters, or null
  wchar_t* ArcNameW;    // the archive's path, used when not null
  unsigned OpenMode;    // kOpenList or kOpenExtract
  unsigned OpenResult;  // 0, or the code why the archive did not open
  char* CmtBuf;         // the caller's buffer for the archive comment, or null
  unsigned CmtBufSize;
  unsigned CmtSize;     // bytes of comment placed in CmtBuf
  unsigned CmtState;    // 0: no comment
  unsigned Flags;
  unsigned Reserved[32];
};

// RARHeaderData: what RARReadHeader reports of an entry.
struct HeaderData {
  char ArcName[260];
  char FileName[260];  // the entry's path, UTF-8 here
  unsigned Flags;
  unsigned PackSize;
  unsigned UnpSize;
  unsigned HostOS;
  unsigned FileCRC;
  unsigned FileTime;
  unsigned UnpVer;
  unsigned Method;
  unsigned FileAttr;
  char* CmtBuf;
  unsigned CmtBufSize;
  unsigned CmtSize;
  unsigned CmtState;
};

#pragma pack(pop)

static_assert(sizeof(void*) != 8 || sizeof(OpenArchiveDataEx) == 176);
static_assert(sizeof(void*) != 8 || sizeof(HeaderData) == 576);

// The entry points, by the names the library exports them under.
using OpenArchiveExFunction = void* (*)(OpenArchiveDataEx* data);
using ReadHeaderFunction = int (*)(void* archive, HeaderData* header);
using ProcessFileWFunction = int (*)(void* archive, int operation, wchar_t* destPath,
                                     wchar_t* destName);
using CloseArchiveFunction = int (*)(void* archive);

constexpr char16_t kModuleName[] = u"UnRAR";
constexpr char16_t kOpenArchiveExName[] = u"RAROpenArchiveEx";
constexpr char16_t kReadHeaderName[] = u"RARReadHeader";
constexpr char16_t kProcessFileWName[] = u"RARProcessFileW";
constexpr char16_t kCloseArchiveName[] = u"RARCloseArchive";

}  // namespace varnisk::unrar

// The entry points as the library defines them.
extern "C" {
void* RAROpenArchiveEx(varnisk::unrar::OpenArchiveDataEx* data);
int RARReadHeader(void* archive, varnisk::unrar::HeaderData* header);
int RARProcessFileW(void* archive, int operation, wchar_t* destPath, wchar_t* destName);
int RARCloseArchive(void* archive);
}
