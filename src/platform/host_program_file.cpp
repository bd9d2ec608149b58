#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/host_platform.h"

namespace varnisk::platform {

Expected<void, std::string> WriteProgramCopy(std::string_view currentImage,
                                                  std::string_view newImage,
                                                  const std::string& output) {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return Unexpected("cannot read the program file");
  const size_t at = program.find(currentImage);
  if (at == std::string::npos || program.find(currentImage, at + 1) != std::string::npos) {
    return Unexpected("the program file holds no single embedded command field");
  }
  program.replace(at, newImage.size(), newImage);
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (fd < 0) return Unexpected("cannot write " + output + ": " + std::strerror(errno));
  std::string_view rest = program;
  while (!rest.empty()) {
    const ssize_t n = write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string reason = std::strerror(errno);
      close(fd);
      return Unexpected("cannot write " + output + ": " + reason);
    }
    rest.remove_prefix(static_cast<size_t>(n));
  }
  fchmod(fd, 0755);
  if (close(fd) != 0) return Unexpected("cannot write " + output + ": " + std::strerror(errno));
  return {};
}

}  // namespace varnisk::platform
