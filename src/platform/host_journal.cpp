#include "platform/host_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/utf.h"

namespace varnisk::platform {
namespace {

std::string FormatTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.millisecond);
  return text;
}

}  // namespace

HostJournal::HostJournal(std::string stateFolder, Clock& clock)
    : path_(std::move(stateFolder) + "/journal"), clock_(clock) {}

bool HostJournal::Record(std::string_view kind, std::string_view details) {
  std::string line = FormatTime(clock_.Now());
  line += ' ';
  line += kind;
  if (!details.empty()) {
    line += ' ';
    line += details;
  }
  line += '\n';
  const int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ssize_t written;
  while ((written = write(fd, line.data(), line.size())) < 0 && errno == EINTR) {
  }
  close(fd);
  return written == static_cast<ssize_t>(line.size());
}

std::string JournalCode(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

std::string JournalText(std::u16string_view text) {
  std::u16string clean(text);
  for (char16_t& unit : clean) {
    if (unit < 0x20 || unit == 0x7F || (unit >= 0x80 && unit < 0xA0)) unit = u'?';
  }
  return Utf16ToUtf8(clean);
}

}  // namespace varnisk::platform
