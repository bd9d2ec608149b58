#include "platform/host_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/host_code_pages.h"
#include "platform/host_display.h"
#include "platform/host_file_system.h"
#include "platform/host_journal.h"
#include "platform/host_power.h"
#include "platform/host_libraries.h"
#include "platform/host_registry.h"
#include "platform/host_shell.h"
#include "platform/host_sound.h"
#include "platform/host_windows.h"
#include "platform/provisioning.h"

namespace varnisk::platform {
namespace {

constexpr std::u16string_view kStandardFolders[] = {
    u"\\Windows",
    u"\\Windows\\Start Menu",
    u"\\Windows\\Start Menu\\Programs",
    u"\\Windows\\StartUp",
    u"\\Windows\\Favorites",
    u"\\My Documents",
    u"\\Program Files",
    u"\\Application Data",
    u"\\Temp",
};

// The host's local time; VARNISK_TIME ("2026-12-11T09:05:07") stands the clock still for
// tests that look at dates and times.
class HostClock : public Clock {
 public:
  HostClock() {
    const char* fixed = std::getenv("VARNISK_TIME");
    if (fixed != nullptr) {
      LocalTime t;
      if (std::sscanf(fixed, "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour,
                      &t.minute, &t.second) == 6) {
        fixed_ = t;
      }
    }
  }

  void Sleep(uint32_t milliseconds) override {
    // Against the monotonic clock to a fixed end, so that signals and changes of the
    // wall clock neither cut the pause short nor stretch it.
    timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += static_cast<time_t>(milliseconds / 1000);
    end.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
    if (end.tv_nsec >= 1000000000) {
      end.tv_sec += 1;
      end.tv_nsec -= 1000000000;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
    }
  }

  LocalTime Now() override {
    if (fixed_) return *fixed_;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday,
                     local.tm_hour, local.tm_min, local.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
  }

 private:
  std::optional<LocalTime> fixed_;
};

// The device registry, opened the first time a command uses it: most command lines never
// touch the registry and should not pay for opening a database.
class LazyRegistry : public RegistryStore {
 public:
  explicit LazyRegistry(std::string path) : path_(std::move(path)) {}

  Expected<KeyHandle, Result> CreateKey(RootKey root, std::u16string_view path) override {
    if (!Ready()) return Unexpected{kErrorOpenFailed};
    return store_->CreateKey(root, path);
  }
  Expected<KeyHandle, Result> OpenKey(RootKey root, std::u16string_view path) override {
    if (!Ready()) return Unexpected{kErrorOpenFailed};
    return store_->OpenKey(root, path);
  }
  void CloseKey(KeyHandle key) override {
    if (Ready()) store_->CloseKey(key);
  }
  Result SetValue(KeyHandle key, std::u16string_view name, uint32_t type,
                  std::string_view data) override {
    return Ready() ? store_->SetValue(key, name, type, data) : kErrorOpenFailed;
  }
  Result QueryValue(KeyHandle key, std::u16string_view name, uint32_t* type, void* buffer,
                    uint32_t capacity, uint32_t* size) override {
    return Ready() ? store_->QueryValue(key, name, type, buffer, capacity, size)
                   : kErrorOpenFailed;
  }
  Result DeleteValue(KeyHandle key, std::u16string_view name) override {
    return Ready() ? store_->DeleteValue(key, name) : kErrorOpenFailed;
  }
  Result DeleteKey(RootKey root, std::u16string_view path) override {
    return Ready() ? store_->DeleteKey(root, path) : kErrorOpenFailed;
  }
  Result BeginBatch() override { return Ready() ? store_->BeginBatch() : kErrorOpenFailed; }
  Result EndBatch() override { return Ready() ? store_->EndBatch() : kErrorOpenFailed; }
  Result CancelBatch() override { return Ready() ? store_->CancelBatch() : kErrorOpenFailed; }
  Expected<std::vector<RegistryKeyRecord>, Result> ExportKeys(
      RootKey root, std::u16string_view path) override {
    if (!Ready()) return Unexpected{kErrorOpenFailed};
    return store_->ExportKeys(root, path);
  }

 private:
  // A registry that cannot be opened is said once; every operation then fails.
  bool Ready() {
    if (store_ || failed_) return store_ != nullptr;
    auto opened = HostRegistry::Open(path_);
    if (opened) {
      store_ = std::move(*opened);
    } else {
      failed_ = true;
      std::fprintf(stderr, "varnisk: %s\n", opened.error().c_str());
    }
    return store_ != nullptr;
  }

  std::string path_;
  std::unique_ptr<HostRegistry> store_;
  bool failed_ = false;
};

std::string Message(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Creates path and the folders above it.
bool MakeFolders(const std::string& path) {
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) return true;
  }
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void FurnishNewDevice(FileSystem& files, const std::string& helpPage) {
  for (std::u16string_view folder : kStandardFolders) files.CreateFolder(folder);
  files.WriteFile(u"\\Windows\\Varnisk.exe", "");
  files.WriteFile(u"\\Windows\\Varnisk.htm", helpPage);
}

}  // namespace

struct HostDevice::Services {
  std::unique_ptr<HostFileSystem> files;
  HostClock clock;
  std::unique_ptr<HostCodePages> codePages;
  std::unique_ptr<LazyRegistry> registry;
  std::unique_ptr<ProvisioningManager> configManager;
  std::unique_ptr<HostShell> shell;
  std::unique_ptr<HostJournal> journal;
  std::unique_ptr<HostPower> power;
  std::unique_ptr<HostSound> sound;
  HostWindows windows;
  std::unique_ptr<HostKeyboard> keyboard;
  std::unique_ptr<HostDisplay> display;
  std::unique_ptr<HostLibraries> libraries;
};

HostDevice::HostDevice() : services_(std::make_unique<Services>()) {}
HostDevice::~HostDevice() = default;

Expected<std::unique_ptr<HostDevice>, std::string> HostDevice::Open(
    const DeviceOptions& options) {
  const std::string& dev = options.deviceFolder;
  const std::string filesRoot = dev + "/files";
  const bool isNew = !IsFolder(filesRoot);
  if (!MakeFolders(filesRoot)) return Unexpected(Message("cannot make the device folder", filesRoot));
  if (!MakeFolders(dev + "/state")) return Unexpected(Message("cannot make the device folder", dev + "/state"));
  if (!options.cardFolder.empty() && !IsFolder(options.cardFolder)) {
    return Unexpected("the storage card " + options.cardFolder + " is no folder");
  }
  auto files = HostFileSystem::Open(filesRoot, options.cardFolder);
  if (!files) return Unexpected(files.error());
  std::unique_ptr<HostDevice> device(new HostDevice());
  device->services_->files = std::move(*files);
  Services& services = *device->services_;
  const std::vector<std::string> moduleFolders = ModuleFolders();
  services.codePages = std::make_unique<HostCodePages>(options.ansiCodePage, moduleFolders);
  services.registry = std::make_unique<LazyRegistry>(dev + "/registry.db");
  services.configManager =
      std::make_unique<ProvisioningManager>(*services.files, *services.registry);
  services.shell = std::make_unique<HostShell>(*services.files, *services.registry, dev,
                                               ProgramPath(), options.programOptions);
  const std::string state = AbsolutePath(dev + "/state");
  services.journal = std::make_unique<HostJournal>(state, services.clock);
  services.power = std::make_unique<HostPower>(*services.journal, *services.shell);
  services.sound = std::make_unique<HostSound>(*services.files, *services.journal, moduleFolders);
  services.keyboard = std::make_unique<HostKeyboard>(*services.journal, services.windows);
  services.display = std::make_unique<HostDisplay>(state);
  services.libraries = std::make_unique<HostLibraries>(*services.files, moduleFolders);
  if (isNew) FurnishNewDevice(*device->services_->files, options.helpPage);
  return device;
}

Platform HostDevice::View() {
  Services& s = *services_;
  return Platform{s.files.get(),    &s.clock,        s.codePages.get(), s.configManager.get(),
                  s.registry.get(), s.shell.get(),   s.power.get(),     s.sound.get(),
                  s.keyboard.get(), s.display.get(), &s.windows,        s.libraries.get()};
}

bool HostDevice::SupportsCodePage(uint32_t codePage) {
  return services_->codePages->Supports(codePage);
}

std::string DefaultDeviceFolder() {
  if (const char* device = std::getenv("VARNISK_DEVICE"); device != nullptr && *device != 0) {
    return device;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return std::string(data) + "/varnisk/device";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/share/varnisk/device";
}

std::string ProgramPath() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> ModuleFolders() {
  std::vector<std::string> folders;
  const std::string program = ProgramPath();
  if (!program.empty()) {
    // Beside the program (a build folder), then where an install under any prefix puts
    // them (PREFIX/bin/varnisk, PREFIX/lib/varnisk/), then the configured prefix's.
    const std::string folder = program.substr(0, program.rfind('/'));
    folders.push_back(folder);
    folders.push_back(folder + "/../lib/varnisk");
  }
  folders.push_back(VARNISK_MODULE_DIR);
  return folders;
}

std::string AbsolutePath(const std::string& path) {
  char* absolute = realpath(path.c_str(), nullptr);
  if (absolute == nullptr) return path;
  std::string result(absolute);
  std::free(absolute);
  return result;
}

std::optional<std::string> ExistingHostFile(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  char* absolute = realpath(path.c_str(), nullptr);
  if (absolute == nullptr) return std::nullopt;
  std::string result(absolute);
  std::free(absolute);
  return result;
}

}  // namespace varnisk::platform
