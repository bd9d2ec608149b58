#pragma once
// Power on the host: the emulated device takes every request by writing it into its
// journal; a restart or power-off also ends the processes started on the device (this
// program goes on, as it does when the platform's call returns).

#include "platform/host_journal.h"
#include "platform/platform.h"

namespace varnisk::platform {

// A request counts as taken when its journal line was written: an event the device did
// not record did not happen to it. The hardware layer refuses no control code.
class HostPower : public DevicePower {
 public:
  // journal and shell outlive this.
  HostPower(HostJournal& journal, DeviceShell& shell) : journal_(journal), shell_(shell) {}

  bool KernelIoControl(uint32_t code) override;
  bool SetCleanBoot() override;
  bool ExitWindows(uint32_t flags) override;
  bool PowerOff() override;

 private:
  // Ends every process of the device but this program.
  void EndDeviceProcesses();

  HostJournal& journal_;
  DeviceShell& shell_;
};

}  // namespace varnisk::platform
