#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/host_platform.h"
#include "platform/utf.h"

namespace varnisk::platform {
namespace {

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log that cannot be written must not stop the script
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

Expected<std::unique_ptr<HostLogFile>, std::string> HostLogFile::Open(
    const std::string& path) {
  if (path == "-") return std::unique_ptr<HostLogFile>(new HostLogFile(STDERR_FILENO, false));
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Unexpected("cannot open the log " + path + ": " + std::strerror(errno));
  return std::unique_ptr<HostLogFile>(new HostLogFile(fd, true));
}

HostLogFile::~HostLogFile() {
  if (owned_) close(fd_);
}

// The log's entries end their lines with "\r\n", as the main window shows them; a
// host text file ends them with "\n".
void HostLogFile::AppendLog(std::u16string_view text) {
  std::string bytes = Utf16ToUtf8(text);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out.push_back(bytes[i]);
  }
  WriteAll(fd_, out);
}

}  // namespace varnisk::platform
