#pragma once
// The platform boundary: everything the layers above need from "the device", in the
// device's own words. The host implementation (host_platform.h) backs it with a device
// folder on Linux; tests hand the layers a fake (fake_platform.h) instead.

#include <cstdint>
#include <span>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/expected.h"
#include "platform/result.h"

namespace varnisk::platform {

// File attributes as the device reports them.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;

// The folders a script can name through %-sequences.
enum class SpecialFolder {
  kApplicationData,
  kProgramFiles,
  kStartMenu,
  kPrograms,
  kStartUp,
  kFavorites,
  kWindows,
  kPersonal,
};

// The device path of a special folder ("\Windows\Start Menu"), without trailing backslash.
std::u16string_view SpecialFolderPath(SpecialFolder folder);

// One entry of a folder, as a search finds it.
struct FindEntry {
  std::u16string name;  // without the folder
  uint32_t attributes = 0;
};

// A file read as a stream with its gzip compression undone on the way; data that does not
// begin with the gzip signature reads as it is stored. Must not outlive the file system
// that opened it.
class GzipReader {
 public:
  virtual ~GzipReader() = default;
  // Fills buffer with up to size bytes and gives their count, fewer than size only at the
  // end of the data (compressed data cut short ends where it was cut). kErrorReadFault
  // when the file cannot be read or its compressed data is corrupt; from then on every
  // read fails.
  virtual Expected<size_t, Result> Read(char* buffer, size_t size) = 0;
};

// A file being written piece by piece. Pieces may be held back and written together, so
// the file is complete only once Close has answered 0; a writer that goes without Close
// still writes its pieces but cannot report a failure. Must not outlive the file system
// that created it.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual Result Write(std::string_view bytes) = 0;
  // Writes what was held back and closes the file; the first failure of any write.
  virtual Result Close() = 0;
};

// The device's file system, addressed by device paths: components separated by "\",
// rooted at the device's root folder "\", looked up without regard to case. "." and ".."
// never lead above the root, and no path ever reaches a host file outside the device
// (or outside the host folder shown as "\Storage Card").
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The attributes of a file or folder, or the error code that says why there are none.
  virtual Expected<uint32_t, Result> GetAttributes(std::u16string_view path) = 0;

  // The file's first maxBytes bytes (the whole file by default). A file that can be
  // opened but not read to the end yields what was read.
  virtual Expected<std::string, Result> ReadFile(std::u16string_view path,
                                                      uint64_t maxBytes = UINT64_MAX) = 0;

  // Creates the file, or empties an existing one, and writes bytes into it.
  virtual Result WriteFile(std::u16string_view path, std::string_view bytes) = 0;

  // Creates one folder whose parent exists; kErrorAlreadyExists when the name is taken.
  virtual Result CreateFolder(std::u16string_view path) = 0;

  // Deletes a file. A read-only file, a folder or the root gives kErrorAccessDenied, as
  // on the device; a missing file kErrorFileNotFound, a missing folder above it
  // kErrorPathNotFound.
  virtual Result DeleteFile(std::u16string_view path) = 0;

  // Removes an empty folder. kErrorDirNotEmpty while it holds entries; a file, a
  // read-only folder or the root gives kErrorAccessDenied; missing names as DeleteFile.
  virtual Result RemoveFolder(std::u16string_view path) = 0;

  // The entries of folder whose names match pattern as the device's search matches
  // them: "*" any run of characters, "?" any one character, without regard to case
  // ("*.*" matches every name). Sorted by name without regard to case; "." and ".."
  // never listed. kErrorFileNotFound when nothing matches (an empty pattern matches
  // nothing), kErrorPathNotFound when the folder does not exist.
  virtual Expected<std::vector<FindEntry>, Result> FindFiles(std::u16string_view folder,
                                                             std::u16string_view pattern) = 0;

  // Copies the file source onto destination, replacing a file there; the folder of
  // destination must exist. A read-only destination gives kErrorAccessDenied. The copy
  // keeps the source's read-only attribute, as the device's copy does.
  virtual Result CopyFile(std::u16string_view source, std::u16string_view destination) = 0;

  struct FileCopy {
    std::u16string source;
    std::u16string destination;
  };
  // Copies each file of copies as CopyFile does and gives CopyFile's result for each, in
  // their order. The device may copy several at once; a tree copy hands over a folder's
  // files together, which goes faster than one call each.
  virtual std::vector<Result> CopyFiles(std::span<const FileCopy> copies) {
    std::vector<Result> results;
    results.reserve(copies.size());
    for (const FileCopy& copy : copies) results.push_back(CopyFile(copy.source, copy.destination));
    return results;
  }

  // Opens the file, creating it when missing, and adds bytes at its end.
  virtual Result AppendFile(std::u16string_view path, std::string_view bytes) = 0;

  // Sets the attributes the device keeps for an entry: only kAttributeReadOnly has an
  // effect (no write permission on the host).
  virtual Result SetAttributes(std::u16string_view path, uint32_t attributes) = 0;

  // Deletes a file, or a folder with everything in it, without asking; the last name
  // of path may hold wildcards, and then every entry it matches goes. Read-only entries
  // go too, as the device shell deletes them. 0 when everything named is gone;
  // kErrorFileNotFound when nothing matched.
  virtual Result DeleteTree(std::u16string_view path) = 0;

  // Opens the file for reading through gzip decompression (a file without the gzip
  // signature reads as it is stored). A folder gives kErrorAccessDenied; missing names
  // as ReadFile.
  virtual Expected<std::unique_ptr<GzipReader>, Result> OpenGzipReader(
      std::u16string_view path) = 0;

  // Creates the file, or empties an existing one, to be written piece by piece; refused
  // as WriteFile refuses (a folder, a read-only file, a missing folder above it).
  virtual Expected<std::unique_ptr<FileWriter>, Result> CreateFileWriter(
      std::u16string_view path) = 0;
};

// Date and time of the device.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int dayOfWeek = 0;  // 0 is Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The device's clock, and its pause: the one way the layers wait for time to pass, so
// that tests with a fake clock never sleep.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Returns after milliseconds have passed; the program does nothing meanwhile.
  virtual void Sleep(uint32_t milliseconds) = 0;
};

constexpr uint32_t kCodePageAnsi = 0;  // the device's ANSI code page, whichever it is
constexpr uint32_t kCodePageUtf8 = 65001;

// Conversion between UTF-16 and the code pages of the device's files. Bytes a code page
// does not define become a substitute character and the conversion goes on, as on the
// device.
class CodePages {
 public:
  virtual ~CodePages() = default;
  virtual uint32_t AnsiCodePage() const = 0;
  virtual std::u16string ToUtf16(uint32_t codePage, std::string_view bytes) = 0;
  virtual std::string FromUtf16(uint32_t codePage, std::u16string_view text) = 0;
};

// A process of the device, as a listing of its processes names it.
struct ProcessEntry {
  uint32_t id = 0;
  // Tells this process from a later one that gets the same identifier.
  uint64_t instance = 0;
  std::u16string exeFile;  // the program's file name without its folder ("tmail.exe")
  bool thisProgram = false;
  bool operator==(const ProcessEntry&) const = default;
};

// The device shell: opens documents, starts programs and keeps the table of the
// processes it started on this device.
class DeviceShell {
 public:
  virtual ~DeviceShell() = default;

  // Opens the file at path with parameters, as the device's shell does: a program
  // stored on the device (a host executable: an ELF file or a "#!" script with its run
  // bit) starts as a process with parameters split as the platform splits a command
  // line; "\Windows\Varnisk.exe" starts this program on the same device; any other file
  // opens through its association in the device registry (HKEY_CLASSES_ROOT\.ext, its
  // class, Shell\Open\Command with "%1"). The started process is recorded in the
  // process table. When wait is set the call returns when the process has ended.
  // kErrorFileNotFound / kErrorPathNotFound for a missing file, kErrorNoAssociation
  // for a file no program opens.
  virtual Result Open(std::u16string_view path, std::u16string_view parameters, bool wait) = 0;

  // The device's processes: those its shells started that still run, and this program.
  // Fails when the table of processes cannot be read.
  virtual Expected<std::vector<ProcessEntry>, Result> ListProcesses() = 0;

  // Ends a process of the last listing. A process that has ended since, or whose
  // identifier now belongs to another process, is not touched (kErrorInvalidParameter).
  // Ending this program does not return: it exits with status 0.
  virtual Result EndProcess(const ProcessEntry& process) = 0;
};

// The configuration manager: applies a provisioning XML document to the device.
class ConfigManager {
 public:
  virtual ~ConfigManager() = default;
  // 0 when the whole document applied, otherwise a failure code.
  virtual Result ProcessConfigXml(std::u16string_view document) = 0;
};

// Codes of the hardware layer's control call and of ExitWindows.
constexpr uint32_t kIoctlHalReboot = 0x0101003C;
constexpr uint32_t kExitWindowsReboot = 2;
constexpr uint32_t kExitWindowsPowerOff = 8;

// Restart, reset and power of the device. Each call answers whether the device took
// the request; the program goes on after it either way (the emulated device restarts
// around the running program).
class DevicePower {
 public:
  virtual ~DevicePower() = default;
  // The hardware layer's control call with the control code and no buffers.
  virtual bool KernelIoControl(uint32_t code) = 0;
  // Makes the next start of the device a clean one.
  virtual bool SetCleanBoot() = 0;
  // Ends the session: kExitWindowsReboot restarts, kExitWindowsPowerOff switches off.
  virtual bool ExitWindows(uint32_t flags) = 0;
  // The platform's power-off call.
  virtual bool PowerOff() = 0;
};

// Flags of PlaySound.
constexpr uint32_t kSoundAsync = 0x1;
constexpr uint32_t kSoundLoop = 0x8;
constexpr uint32_t kSoundAlias = 0x10000;
constexpr uint32_t kSoundFileName = 0x20000;

// The device's sounds.
class Sound {
 public:
  virtual ~Sound() = default;
  // Plays the sound file name (a device path), or with kSoundAlias the system sound of
  // that name; an empty name stops a sound that plays on. kSoundAsync returns at once,
  // kSoundLoop repeats until stopped. False when the sound cannot be played (a missing
  // or invalid file, an unknown sound name).
  virtual bool PlaySound(std::u16string_view name, uint32_t flags) = 0;
  // The system sound of a message-box type (0 the default sound, 0x10 stop, 0x20
  // question, 0x30 exclamation, 0x40 information).
  virtual bool MessageBeep(uint32_t type) = 0;
};

// Flags of a key event.
constexpr uint32_t kKeyEventKeyUp = 0x2;
constexpr uint32_t kKeyEventSilent = 0x4;

// The device's keyboard: key events as if the user pressed the keys.
class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // A press (or, with kKeyEventKeyUp, a release) of the virtual key. The device reports
  // nothing back.
  virtual void KeyEvent(uint8_t virtualKey, uint32_t flags) = 0;
};

// Screen orientations and the display-change codes.
constexpr uint32_t kOrientation0 = 0;
constexpr uint32_t kOrientation90 = 1;
constexpr uint32_t kOrientation180 = 2;
constexpr uint32_t kOrientation270 = 4;
constexpr Result kDisplayChangeSuccessful = 0;
constexpr Result kDisplayChangeFailed = 0xFFFFFFFF;   // -1
constexpr Result kDisplayChangeBadMode = 0xFFFFFFFE;  // -2

// The device's display settings, as far as scripts change them: its orientation.
class Display {
 public:
  virtual ~Display() = default;
  // Reads the current orientation; a display-change code.
  virtual Result GetOrientation(uint32_t* orientation) = 0;
  // Turns the screen; kDisplayChangeBadMode for a value that is no orientation.
  virtual Result SetOrientation(uint32_t orientation) = 0;
};

// A top-level window; 0 is none.
using WindowHandle = uint64_t;
// Every top-level window at once.
constexpr WindowHandle kBroadcastWindow = 0xFFFF;

// One parameter of a window message: a number, or the address of a text (which stays
// valid while a sent message is handled).
struct MessageParameter {
  uint64_t value = 0;
  bool isText = false;
  std::u16string_view text;  // when isText; value is its address
};

// The program's own windows on this device (its own and those of other copies of it on
// the same device), as window commands reach them.
class WindowManager {
 public:
  virtual ~WindowManager() = default;
  // The first top-level window of the class; 0 when none has it.
  virtual WindowHandle FindWindow(std::u16string_view className) = 0;
  // Sends the message and returns the receiver's answer (kBroadcastWindow: to every
  // window; the answer is then 0).
  virtual uint64_t SendMessage(WindowHandle window, uint32_t message,
                               const MessageParameter& first,
                               const MessageParameter& second) = 0;
  // Queues the message; non-zero when it was queued.
  virtual uint64_t PostMessage(WindowHandle window, uint32_t message,
                               const MessageParameter& first,
                               const MessageParameter& second) = 0;
};

class RegistryStore;
class Libraries;

// The device as the layers see it: one role interface per service. The pointers are
// not owned; whoever builds a Platform keeps the services alive for the whole run.
struct Platform {
  FileSystem* files = nullptr;
  Clock* clock = nullptr;
  CodePages* codePages = nullptr;
  ConfigManager* configManager = nullptr;
  RegistryStore* registry = nullptr;
  DeviceShell* shell = nullptr;
  DevicePower* power = nullptr;
  Sound* sound = nullptr;
  Keyboard* keyboard = nullptr;
  Display* display = nullptr;
  WindowManager* windows = nullptr;
  Libraries* libraries = nullptr;
};

}  // namespace varnisk::platform

namespace varnisk::platform {

// Where executed lines and their results are logged: the main window's log or a host
// file. Receives the log's text exactly as the main window would show it.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void AppendLog(std::u16string_view text) = 0;
};

}  // namespace varnisk::platform

namespace varnisk::platform {

// The four roots of the device registry, with the platform's handle values.
enum class RootKey : uint32_t {
  kClassesRoot = 0x80000000,
  kCurrentUser = 0x80000001,
  kLocalMachine = 0x80000002,
  kUsers = 0x80000003,
};

// Registry value types (the platform's numbers); a registry script may name any other.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegMuiSz = 21;

// An open registry key. 0 is the null handle, which every operation refuses.
using KeyHandle = uint64_t;

// The key number a registry store gives a root's own key, 1 to 4 in the order above; 0
// for a value that names no root.
constexpr KeyHandle RootKeyId(RootKey root) {
  switch (root) {
    case RootKey::kClassesRoot:
      return 1;
    case RootKey::kCurrentUser:
      return 2;
    case RootKey::kLocalMachine:
      return 3;
    case RootKey::kUsers:
      return 4;
  }
  return 0;
}

struct RegistryValue {
  std::u16string name;  // as stored; empty for the default value
  uint32_t type = 0;
  std::string data;
};

// A key with its values, as an export lists it.
struct RegistryKeyRecord {
  RootKey root = RootKey::kLocalMachine;
  std::u16string path;  // below the root, levels joined with "\"; empty for the root
  std::vector<RegistryValue> values;  // the default value first, then by name without case
};

// The device registry. Keys are named by a root and a path below it ("Software\X");
// key and value names compare without regard to case and keep the case they were
// created with. An empty value name is the key's default value. Each operation is
// atomic; several programs may use one device's registry at once without losing writes.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Creates the key, with every missing key above it, or opens it when it exists.
  virtual Expected<KeyHandle, Result> CreateKey(RootKey root, std::u16string_view path) = 0;
  // Opens an existing key; kErrorFileNotFound when there is none.
  virtual Expected<KeyHandle, Result> OpenKey(RootKey root, std::u16string_view path) = 0;
  virtual void CloseKey(KeyHandle key) = 0;

  virtual Result SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                          std::string_view data) = 0;
  // Reads the value into buffer (capacity bytes) and its size into *size. A missing key
  // or value gives kErrorFileNotFound and leaves the buffer alone; a value larger than
  // capacity gives kErrorMoreData, writes nothing and sets *size to the size needed.
  virtual Result QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type,
                            void* buffer, uint32_t capacity, uint32_t* size) = 0;
  virtual Result DeleteValue(KeyHandle key, std::u16string_view name) = 0;
  // Deletes the key with every key and value below it. A root itself cannot be deleted.
  virtual Result DeleteKey(RootKey root, std::u16string_view path) = 0;

  // Everything between BeginBatch and EndBatch lands together or not at all (a program
  // killed in between leaves the registry as it was). Batches do not nest.
  virtual Result BeginBatch() = 0;
  virtual Result EndBatch() = 0;
  // Ends the batch without keeping anything it changed.
  virtual Result CancelBatch() = 0;

  // The key and every key below it, parents before children and siblings sorted by name
  // without regard to case; kErrorFileNotFound when the key does not exist.
  virtual Expected<std::vector<RegistryKeyRecord>, Result> ExportKeys(
      RootKey root, std::u16string_view path) = 0;
};

}  // namespace varnisk::platform
