#pragma once
// The device on the host: a folder DEV holding the device's files (DEV/files), its
// registry and the state it remembers (DEV/state). Opening a folder that holds no
// device yet makes a new one, with the platform's standard folders.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/platform.h"

namespace varnisk::platform {

struct DeviceOptions {
  std::string deviceFolder;  // host path of DEV; created when missing
  std::string cardFolder;    // host folder shown as "\Storage Card", or empty
  uint32_t ansiCodePage = 936;
  std::string helpPage;      // written to \Windows\Varnisk.htm on a new device
  // Options that copies of this program started by the device shell get, after
  // --device (the card, the code page, the user interface ...).
  std::vector<std::string> programOptions;
};

class HostDevice {
 public:
  // Fails with a message that names the folder and what went wrong.
  static Expected<std::unique_ptr<HostDevice>, std::string> Open(
      const DeviceOptions& options);
  ~HostDevice();

  Platform View();
  // Whether conversions in the code page can be made (loads the code-page module).
  bool SupportsCodePage(uint32_t codePage);

 private:
  HostDevice();
  struct Services;
  std::unique_ptr<Services> services_;
};

// The device folder used when none is given: $VARNISK_DEVICE, else
// $XDG_DATA_HOME/varnisk/device, else ~/.local/share/varnisk/device.
std::string DefaultDeviceFolder();

// The host path of the running program.
std::string ProgramPath();

// The host folders where the program's modules lie: its own folder, then the install
// location.
std::vector<std::string> ModuleFolders();

// The absolute form of an existing host path (the path itself when it does not exist).
std::string AbsolutePath(const std::string& path);

// The absolute path of path when it names an existing regular host file.
std::optional<std::string> ExistingHostFile(const std::string& path);

// The log written by --log: a host file, or standard error for "-", in UTF-8 with "\n"
// line breaks.
class HostLogFile : public LogSink {
 public:
  static Expected<std::unique_ptr<HostLogFile>, std::string> Open(const std::string& path);
  ~HostLogFile() override;
  void AppendLog(std::u16string_view text) override;

 private:
  explicit HostLogFile(int fd, bool owned) : fd_(fd), owned_(owned) {}
  int fd_;
  bool owned_;
};

// Writes a copy of the running program to output in which the bytes currentImage (found
// exactly once in the program file) are replaced by newImage of the same length.
Expected<void, std::string> WriteProgramCopy(std::string_view currentImage,
                                                  std::string_view newImage,
                                                  const std::string& output);

}  // namespace varnisk::platform
