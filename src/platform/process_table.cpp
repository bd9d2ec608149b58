#include "platform/process_table.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <utility>

#include "platform/utf.h"

namespace varnisk::platform {
namespace {

// How long an ended process may take to close its files and leave after SIGTERM before
// SIGKILL follows, and how long SIGKILL may take to land.
constexpr int kTermGraceMs = 1000;
constexpr int kKillWaitMs = 2000;

// Owns one host file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The one place where the table's host errors become device result codes.
Result ResultFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;  // the device's state folder is gone
    case ENOSPC:
    case EDQUOT:
    case EIO:
      return kErrorWriteFault;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
      return kErrorNotEnoughMemory;
    default:
      return kErrorAccessDenied;
  }
}

// Reads the whole file; nullopt with errno set when it cannot be opened.
std::optional<std::string> ReadHostFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  Fd owned(fd);
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

Result WriteHostFile(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return ResultFromErrno(errno);
  Fd owned(fd);
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ResultFromErrno(errno);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return kSuccess;
}

// Identifies this run of the host: pids and start times begin anew at every boot.
std::string ReadBootId() {
  std::string text = ReadHostFile("/proc/sys/kernel/random/boot_id").value_or("");
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

template <class Number>
bool ParseNumber(std::string_view text, Number& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

// The rows of the table text that belong to this boot; lines that are not rows are
// passed over (they are dropped when the table is next written).
std::vector<DeviceProcess> ParseRows(std::string_view text, const std::string& bootId) {
  std::vector<DeviceProcess> rows;
  bool thisBoot = false;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.starts_with("boot ")) {
      thisBoot = !bootId.empty() && line.substr(5) == bootId;
      continue;
    }
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first == line.npos ? line.size() : first + 1);
    if (!thisBoot || second == line.npos) continue;
    DeviceProcess row;
    if (!ParseNumber(line.substr(0, first), row.pid) || row.pid <= 0 ||
        !ParseNumber(line.substr(first + 1, second - first - 1), row.startTime)) {
      continue;
    }
    row.path = Utf8ToUtf16(line.substr(second + 1));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string FormatRows(const std::vector<DeviceProcess>& rows, const std::string& bootId) {
  std::string text = "boot " + bootId + "\n";
  for (const DeviceProcess& row : rows) {
    text += std::to_string(row.pid) + " " + std::to_string(row.startTime) + " " +
            Utf16ToUtf8(row.path) + "\n";
  }
  return text;
}

bool StillRuns(const DeviceProcess& process) {
  const std::optional<uint64_t> started = ProcessStartTime(process.pid);
  return started && *started == process.startTime;
}

bool SameProcess(const DeviceProcess& a, const DeviceProcess& b) {
  return a.pid == b.pid && a.startTime == b.startTime;
}

// A descriptor that names one process for as long as it is open, so that a signal sent
// through it can never reach a later process that reused the pid.
int OpenProcessFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool SendSignal(int processFd, int signal) {
  return syscall(SYS_pidfd_send_signal, processFd, signal, nullptr, 0) == 0;
}

// True when the process ended within timeoutMs.
bool AwaitEnd(int processFd, int timeoutMs) {
  pollfd waiting{processFd, POLLIN, 0};
  for (;;) {
    const int n = poll(&waiting, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

}  // namespace

std::u16string DeviceProcess::Name() const {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::optional<uint64_t> ProcessStartTime(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const std::optional<std::string> stat = ReadHostFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  // "pid (command) state ppid ...": the command may hold blanks and parentheses, so the
  // fields are counted from the last ")". The state is field 3, the start time field 22.
  const size_t close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(*stat).substr(close + 1);
  std::string_view fields[20];
  for (std::string_view& field : fields) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == rest.npos) return std::nullopt;
    rest.remove_prefix(start);
    const size_t end = std::min(rest.find(' '), rest.size());
    field = rest.substr(0, end);
    rest.remove_prefix(end);
  }
  if (fields[0] == "Z" || fields[0] == "X") return std::nullopt;  // ended, not yet reaped
  uint64_t startTime = 0;
  if (!ParseNumber(fields[19], startTime)) return std::nullopt;
  return startTime;
}

ProcessTable::ProcessTable(std::string stateFolder)
    : tablePath_(stateFolder + "/processes"),
      lockPath_(stateFolder + "/processes.lock"),
      bootId_(ReadBootId()) {}

template <class Change>
Result ProcessTable::Update(Change change) {
  // A lock file apart from the table: the table itself is replaced by every write, and a
  // lock on a replaced file would no longer keep other programs out.
  const int lockFd = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lockFd < 0) return ResultFromErrno(errno);
  Fd lock(lockFd);
  while (flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) return ResultFromErrno(errno);
  }
  const std::string before = ReadHostFile(tablePath_).value_or("");
  std::vector<DeviceProcess> rows = ParseRows(before, bootId_);
  std::erase_if(rows, [](const DeviceProcess& row) { return !StillRuns(row); });
  change(rows);
  const std::string after = FormatRows(rows, bootId_);
  if (after == before) return kSuccess;
  // Readers never see a half-written table: they find the old file or the new one.
  const std::string fresh = tablePath_ + ".new";
  if (const Result written = WriteHostFile(fresh, after); written != kSuccess) return written;
  if (rename(fresh.c_str(), tablePath_.c_str()) != 0) return ResultFromErrno(errno);
  return kSuccess;
}

Result ProcessTable::Add(const DeviceProcess& process) {
  return Update([&](std::vector<DeviceProcess>& rows) {
    if (std::none_of(rows.begin(), rows.end(),
                     [&](const DeviceProcess& row) { return SameProcess(row, process); })) {
      rows.push_back(process);
    }
  });
}

Result ProcessTable::Remove(const DeviceProcess& process) {
  return Update([&](std::vector<DeviceProcess>& rows) {
    std::erase_if(rows, [&](const DeviceProcess& row) { return SameProcess(row, process); });
  });
}

Expected<std::vector<DeviceProcess>, Result> ProcessTable::List() {
  std::vector<DeviceProcess> live;
  const Result updated = Update([&](std::vector<DeviceProcess>& rows) { live = rows; });
  if (updated != kSuccess) return Unexpected{updated};
  return live;
}

Result ProcessTable::End(const DeviceProcess& process) {
  auto live = List();
  if (!live) return live.error();
  if (std::none_of(live->begin(), live->end(),
                   [&](const DeviceProcess& row) { return SameProcess(row, process); })) {
    return kErrorInvalidParameter;
  }
  const int processFd = OpenProcessFd(process.pid);
  if (processFd < 0) return kErrorInvalidParameter;  // ended meanwhile
  Fd owned(processFd);
  // Checked again now that the descriptor holds on to one process: the pid may have
  // been reused between the listing and the open.
  if (!StillRuns(process)) return kErrorInvalidParameter;
  if (!SendSignal(processFd, SIGTERM)) return ResultFromErrno(errno);
  if (!AwaitEnd(processFd, kTermGraceMs)) {
    if (!SendSignal(processFd, SIGKILL) && errno != ESRCH) return ResultFromErrno(errno);
    if (!AwaitEnd(processFd, kKillWaitMs)) return kErrorAccessDenied;
  }
  Remove(process);
  return kSuccess;
}

}  // namespace varnisk::platform
