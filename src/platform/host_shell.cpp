#include "platform/host_shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/command_line_split.h"
#include "platform/device_path.h"
#include "platform/host_file_system.h"
#include "platform/text_case.h"
#include "platform/utf.h"

extern char** environ;

namespace varnisk::platform {
namespace {

// Programs started through the shell carry their depth in VARNISK_NESTING. A file type
// associated with this program that is no script makes each copy open the file again
// through the shell; past this depth the shell starts nothing more, so such a chain ends.
constexpr int kMaxProgramNesting = 8;

int NestingOfThisProgram() {
  const char* value = std::getenv("VARNISK_NESTING");
  return value == nullptr ? 0 : std::atoi(value);
}

// An association may lead to a document with an association of its own, but no further
// than this many steps: a loop of associations ends refused instead of running forever.
constexpr int kMaxAssociationDepth = 4;

constexpr std::u16string_view kThisProgram = u"\\Windows\\Varnisk.exe";
constexpr std::u16string_view kThisProgramName = u"Varnisk.exe";

// Owns one host file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// The one place where a process that could not start becomes a device result code.
Result ResultFromStartErrno(int error) {
  switch (error) {
    case ENOENT:  // also a script whose interpreter is missing
    case ENOTDIR:
      return kErrorFileNotFound;
    case ENOEXEC:
    case ELIBBAD:
      return kErrorBadExeFormat;
    case ENOMEM:
    case EAGAIN:
    case EMFILE:
    case ENFILE:
      return kErrorNotEnoughMemory;
    case E2BIG:
      return kErrorInvalidParameter;
    default:  // EACCES, EPERM, ETXTBSY ...
      return kErrorAccessDenied;
  }
}

enum class FileKind { kDocument, kElf, kScript };

// Judged by the first bytes, as the host's kernel judges what it can run.
FileKind KindOf(int fd) {
  char head[4] = {};
  const ssize_t n = pread(fd, head, sizeof head, 0);
  if (n == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
    return FileKind::kElf;
  }
  if (n >= 2 && head[0] == '#' && head[1] == '!') return FileKind::kScript;
  return FileKind::kDocument;
}

std::u16string JoinDevicePath(const std::vector<std::u16string>& names) {
  if (names.empty()) return u"\\";
  std::u16string out;
  for (const std::u16string& name : names) out += u"\\" + name;
  return out;
}

bool IsThisProgram(const std::vector<std::u16string>& names) {
  return names.size() == 2 && EqualsNoCase(names[0], u"Windows") &&
         EqualsNoCase(names[1], u"Varnisk.exe");
}

// The default value of HKEY_CLASSES_ROOT\keyPath when it is a string, up to its NUL;
// nullopt when there is none.
std::optional<std::u16string> ClassesDefault(RegistryStore& registry,
                                             std::u16string_view keyPath) {
  auto key = registry.OpenKey(RootKey::kClassesRoot, keyPath);
  if (!key) return std::nullopt;
  uint32_t type = 0;
  uint32_t size = 0;
  std::string data(520, '\0');
  Result read = registry.QueryValue(*key, u"", &type, data.data(),
                                    static_cast<uint32_t>(data.size()), &size);
  if (read == kErrorMoreData) {
    data.resize(size);
    read = registry.QueryValue(*key, u"", &type, data.data(), size, &size);
  }
  registry.CloseKey(*key);
  if (read != kSuccess || (type != kRegSz && type != kRegExpandSz)) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 1 < std::min<size_t>(size, data.size()); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                static_cast<unsigned char>(data[i + 1]) << 8);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

// What a child reports through the report pipe: the pid of the process it forked, or
// why it could not fork or exec. Nothing arrives when the exec succeeded: the pipe is
// closed on exec.
struct Report {
  enum Kind : int { kStarted, kFailed } kind;
  int value;
};

// Called between fork and exec: only async-signal-safe calls.
void SendReport(int fd, Report::Kind kind, int value) {
  const Report report{kind, value};
  // Smaller than PIPE_BUF, so written whole or not at all.
  while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
}

// One report, or nullopt at the end of the pipe.
std::optional<Report> ReadReport(int fd) {
  Report report;
  size_t got = 0;
  while (got < sizeof report) {
    const ssize_t n = read(fd, reinterpret_cast<char*>(&report) + got, sizeof report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<size_t>(n);
  }
  return report;
}

void Reap(pid_t child) {
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Everything a child needs, prepared before fork: the program may have other threads,
// so between fork and exec nothing may allocate or take a lock.
struct ChildPlan {
  char* const* argv;
  char* const* envp;
  const char* folder;
  const char* path;  // when fd < 0
  int fd;
  bool script;
  bool newSession;
  int goFd;          // the child's end: a byte means "run", the end of it "give up"
  int parentGoFd;    // the parent's end, closed here so that the parent's exit ends the wait
  int reportRead;
  int reportWrite;
};

[[noreturn]] void RunChild(const ChildPlan& plan) {
  close(plan.parentGoFd);
  close(plan.reportRead);
  // Ignored signals and the blocked mask survive exec; a started program expects neither
  // from whoever started it.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &standard, nullptr);
  if (plan.newSession) setsid();
  char go = 0;
  ssize_t got;
  while ((got = read(plan.goFd, &go, 1)) < 0 && errno == EINTR) {
  }
  if (got != 1) _exit(127);
  if (chdir(plan.folder) != 0) {
    SendReport(plan.reportWrite, Report::kFailed, errno);
    _exit(127);
  }
  if (plan.fd >= 0) {
    // The kernel hands a "#!" script to its interpreter as /dev/fd/N, so that descriptor
    // must stay open across exec; an ELF file needs it only for the exec itself.
    fcntl(plan.fd, F_SETFD, plan.script ? 0 : FD_CLOEXEC);
    syscall(SYS_execveat, plan.fd, "", plan.argv, plan.envp, AT_EMPTY_PATH);
  } else {
    execve(plan.path, plan.argv, plan.envp);
  }
  SendReport(plan.reportWrite, Report::kFailed, errno);
  _exit(127);
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::string AbsoluteFolder(const std::string& folder) {
  char* absolute = realpath(folder.c_str(), nullptr);
  if (absolute == nullptr) return folder;
  std::string out(absolute);
  std::free(absolute);
  return out;
}

}  // namespace

HostShell::HostShell(HostFileSystem& files, RegistryStore& registry, std::string deviceFolder,
                     std::string programPath, std::vector<std::string> programOptions)
    : files_(files),
      registry_(registry),
      deviceFolder_(AbsoluteFolder(deviceFolder)),
      programPath_(std::move(programPath)),
      programOptions_(std::move(programOptions)),
      processes_(deviceFolder_ + "/state"),
      nesting_(NestingOfThisProgram()) {}

Result HostShell::Open(std::u16string_view path, std::u16string_view parameters, bool wait) {
  return OpenAt(path, parameters, wait, 0);
}

Expected<std::vector<ProcessEntry>, Result> HostShell::ListProcesses() {
  auto rows = processes_.List();
  if (!rows) return Unexpected{rows.error()};
  const pid_t self = getpid();
  std::vector<ProcessEntry> entries;
  bool selfListed = false;
  for (const DeviceProcess& row : *rows) {
    const bool thisProgram = row.pid == self;
    selfListed = selfListed || thisProgram;
    entries.push_back(ProcessEntry{static_cast<uint32_t>(row.pid), row.startTime, row.Name(),
                                   thisProgram});
  }
  if (!selfListed) {
    entries.push_back(ProcessEntry{static_cast<uint32_t>(self),
                                   ProcessStartTime(self).value_or(0),
                                   std::u16string(kThisProgramName), true});
  }
  return entries;
}

Result HostShell::EndProcess(const ProcessEntry& process) {
  if (process.thisProgram && process.id == static_cast<uint32_t>(getpid())) {
    // As the device ends a process: at once, with exit code 0. What the program wrote
    // so far is kept: the log is written unbuffered, the registry committed per change.
    std::fflush(nullptr);
    _exit(0);
  }
  return processes_.End(DeviceProcess{static_cast<pid_t>(process.id), process.instance, u""});
}

Result HostShell::OpenAt(std::u16string_view path, std::u16string_view parameters, bool wait,
                         int depth) {
  auto names = SplitDevicePath(path);
  if (!names) return names.error();
  auto attributes = files_.GetAttributes(path);
  if (!attributes) return attributes.error();
  // There is no file explorer on this device to show a folder in.
  if ((*attributes & kAttributeDirectory) != 0) return kErrorNoAssociation;
  if (IsThisProgram(*names)) {
    Launch launch;
    launch.path = programPath_;
    launch.arguments = {programPath_, "--device", deviceFolder_};
    launch.arguments.insert(launch.arguments.end(), programOptions_.begin(),
                            programOptions_.end());
    if (!parameters.empty()) {
      launch.arguments.push_back("--");
      launch.arguments.push_back(Utf16ToUtf8(parameters));
    }
    launch.devicePath = kThisProgram;
    return Start(launch, wait);
  }
  const std::u16string devicePath = JoinDevicePath(*names);
  auto opened = files_.OpenForExecute(devicePath);
  if (!opened) return opened.error();
  Fd file(*opened);
  const FileKind kind = KindOf(file.Get());
  if (kind != FileKind::kDocument) {
    struct stat st;
    if (fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return kErrorAccessDenied;
    if ((st.st_mode & 0111) == 0) return kErrorAccessDenied;  // a program without run bit
    Launch launch;
    launch.fd = file.Get();
    launch.script = kind == FileKind::kScript;
    launch.arguments.push_back(Utf16ToUtf8(names->back()));
    for (const std::u16string& argument : SplitCommandLine(parameters)) {
      launch.arguments.push_back(Utf16ToUtf8(argument));
    }
    launch.devicePath = devicePath;
    return Start(launch, wait);
  }
  file.Reset();
  // A document's own parameters are dropped, as the device's shell drops them: the open
  // command says what its program is given.
  if (depth >= kMaxAssociationDepth) return kErrorNoAssociation;
  auto command = AssociatedCommand(names->back(), devicePath);
  if (!command) return command.error();
  const ProgramAndParameters split = SplitProgramName(*command);
  if (split.program.empty()) return kErrorNoAssociation;
  std::u16string program = split.program;
  // A bare program name is looked for in \Windows first, where the device keeps its
  // programs; every other device path starts at the root.
  if (program.find_first_of(u"\\/") == std::u16string::npos) {
    const std::u16string inWindows = u"\\Windows\\" + program;
    if (files_.GetAttributes(inWindows)) program = inWindows;
  }
  return OpenAt(program, split.parameters, wait, depth + 1);
}

Expected<std::u16string, Result> HostShell::AssociatedCommand(const std::u16string& name,
                                                              const std::u16string& devicePath) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || dot + 1 == name.size()) {
    return Unexpected{kErrorNoAssociation};
  }
  const std::optional<std::u16string> className = ClassesDefault(registry_, name.substr(dot));
  if (!className || className->empty()) return Unexpected{kErrorNoAssociation};
  std::optional<std::u16string> command =
      ClassesDefault(registry_, *className + u"\\Shell\\Open\\Command");
  if (!command || command->empty()) return Unexpected{kErrorNoAssociation};
  // "%1" stands for the document; a command without it is given the document at its end.
  bool placed = false;
  for (size_t at = command->find(u"%1"); at != std::u16string::npos;
       at = command->find(u"%1", at + devicePath.size())) {
    command->replace(at, 2, devicePath);
    placed = true;
  }
  if (!placed) *command += u" " + QuoteArgument(devicePath);
  return *command;
}

std::vector<std::string> HostShell::Environment() const {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable = *entry;
    if (variable.starts_with("VARNISK_DEVICE=") || variable.starts_with("VARNISK_NESTING=")) {
      continue;
    }
    environment.emplace_back(variable);
  }
  environment.push_back("VARNISK_DEVICE=" + deviceFolder_);
  environment.push_back("VARNISK_NESTING=" + std::to_string(nesting_ + 1));
  return environment;
}

// The child waits for a go from the parent before it execs. Meanwhile the parent reads
// its start time and records it: the pid cannot have been reused yet (the child is still
// there), and the row is in the table before the program could look for itself.
Result HostShell::Start(const Launch& launch, bool wait) {
  if (nesting_ >= kMaxProgramNesting) return kErrorStackOverflow;
  std::vector<std::string> arguments = launch.arguments;
  std::vector<std::string> environment = Environment();
  const std::vector<char*> argv = Pointers(arguments);
  const std::vector<char*> envp = Pointers(environment);
  const std::string folder = deviceFolder_ + "/files";
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return ResultFromStartErrno(errno);
  Fd reportRead(report[0]);
  Fd reportWrite(report[1]);
  // A socket rather than a pipe for the go: sending to a child that died must not raise
  // SIGPIPE in this program.
  int go[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, go) != 0) {
    return ResultFromStartErrno(errno);
  }
  Fd parentGo(go[0]);
  Fd childGo(go[1]);
  const ChildPlan plan{argv.data(), envp.data(), folder.c_str(), launch.path.c_str(),
                       launch.fd,   launch.script, !wait,       childGo.Get(),
                       parentGo.Get(), reportRead.Get(), reportWrite.Get()};
  const pid_t child = fork();
  if (child < 0) return ResultFromStartErrno(errno);
  if (child == 0) {
    if (wait) RunChild(plan);
    // Not waited for: a middle process forks the real one and leaves at once, so the
    // real one is adopted by the host's reaper and never lingers as this program's zombie.
    const pid_t grandchild = fork();
    if (grandchild == 0) RunChild(plan);
    SendReport(plan.reportWrite, grandchild < 0 ? Report::kFailed : Report::kStarted,
               grandchild < 0 ? errno : grandchild);
    _exit(0);
  }
  reportWrite.Reset();
  childGo.Reset();
  pid_t pid = child;
  if (!wait) {
    const std::optional<Report> middle = ReadReport(reportRead.Get());
    Reap(child);
    if (!middle) return kErrorNotEnoughMemory;
    if (middle->kind == Report::kFailed) return ResultFromStartErrno(middle->value);
    pid = middle->value;
  }
  DeviceProcess process{pid, 0, launch.devicePath};
  const std::optional<uint64_t> started = ProcessStartTime(pid);
  Result recorded = kErrorAccessDenied;  // the child was ended from outside meanwhile
  if (started) {
    process.startTime = *started;
    recorded = processes_.Add(process);
  }
  const char run = 'g';
  if (recorded != kSuccess || send(parentGo.Get(), &run, 1, MSG_NOSIGNAL) != 1) {
    parentGo.Reset();  // the child gives up without running anything
    if (wait) Reap(pid);
    if (recorded == kSuccess) processes_.Remove(process);
    return recorded != kSuccess ? recorded : kErrorAccessDenied;
  }
  parentGo.Reset();
  if (const std::optional<Report> failure = ReadReport(reportRead.Get())) {
    processes_.Remove(process);
    if (wait) Reap(pid);
    return ResultFromStartErrno(failure->value);
  }
  if (wait) {
    Reap(pid);
    processes_.Remove(process);
  }
  return kSuccess;
}

}  // namespace varnisk::platform
