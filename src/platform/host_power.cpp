#include "platform/host_power.h"

namespace varnisk::platform {

bool HostPower::KernelIoControl(uint32_t code) {
  const bool restart = code == kIoctlHalReboot;
  if (!journal_.Record("power", "ioctl " + JournalCode(code) + (restart ? " restart" : ""))) {
    return false;
  }
  if (restart) EndDeviceProcesses();
  return true;
}

bool HostPower::SetCleanBoot() { return journal_.Record("power", "clean-boot"); }

bool HostPower::ExitWindows(uint32_t flags) {
  const char* effect = flags == kExitWindowsReboot     ? "restart"
                       : flags == kExitWindowsPowerOff ? "power-off"
                                                       : nullptr;
  // The device knows no other way to end its session.
  if (effect == nullptr) return false;
  if (!journal_.Record("power", "exit-windows " + JournalCode(flags) + " " + effect)) {
    return false;
  }
  EndDeviceProcesses();
  return true;
}

bool HostPower::PowerOff() {
  if (!journal_.Record("power", "power-off")) return false;
  EndDeviceProcesses();
  return true;
}

void HostPower::EndDeviceProcesses() {
  auto processes = shell_.ListProcesses();
  if (!processes) return;
  for (const ProcessEntry& process : *processes) {
    if (!process.thisProgram) shell_.EndProcess(process);
  }
}

}  // namespace varnisk::platform
