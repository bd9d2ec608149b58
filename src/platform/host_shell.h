#pragma once
// The device shell on the host: opens device files by starting host processes, and
// keeps the table of what it started in DEV/state.

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/process_table.h"

namespace varnisk::platform {

class HostFileSystem;

// What Open starts, by what it finds at the path:
// - "\Windows\Varnisk.exe": this program (programPath), as
//     programPath --device DEV [PROGRAM OPTIONS] [-- PARAMETERS]
//   the parameters one argument, since the program joins the words after its options
//   into its command line anyway.
// - a host executable stored on the device (an ELF file, or a script starting "#!",
//   with a run bit): that very file, opened once through the confined file system and
//   run through its descriptor, so that a link swapped in after the checks cannot
//   redirect it. argv[0] is the file's name, the rest the parameters split as the
//   platform splits a command line, in UTF-8.
// - any other file: the open command of its association in the device registry, whose
//   program is opened the same way with the rest of the command as its parameters.
// Every process starts in DEV/files, the device's root folder (a relative host path then
// means a file of the device; it is no confinement: a host process sees the whole host),
// with this program's environment plus VARNISK_DEVICE=DEV. A process not waited for is
// started in a session of its own and handed to the host's reaper (a double fork), so
// that it neither becomes a zombie of this program nor dies with its terminal's Ctrl-C.
// Not for use from several threads at once.
class HostShell : public DeviceShell {
 public:
  // deviceFolder is DEV (made absolute here, since children start elsewhere);
  // programPath the host path of this program; programOptions what this program passes
  // on to the copies it starts besides the device ("--ui", "none", ...). files and
  // registry must outlive the shell.
  HostShell(HostFileSystem& files, RegistryStore& registry, std::string deviceFolder,
            std::string programPath, std::vector<std::string> programOptions = {});

  Result Open(std::u16string_view path, std::u16string_view parameters, bool wait) override;
  // The rows of the process table that still run, and this program (named
  // "Varnisk.exe", listed once even when a shell started it).
  Expected<std::vector<ProcessEntry>, Result> ListProcesses() override;
  // Ends a recorded process through ProcessTable::End, never any other host process;
  // this program ends at once with status 0.
  Result EndProcess(const ProcessEntry& process) override;

  // The processes this device's shells started, for listing and ending them.
  ProcessTable& Processes() { return processes_; }

 private:
  // One process to start: exactly one of fd (a device file) or path (this program).
  struct Launch {
    int fd = -1;
    bool script = false;  // a "#!" script, whose descriptor must survive exec
    std::string path;
    std::vector<std::string> arguments;  // argv, from argv[0]
    std::u16string devicePath;           // what the process table records
  };

  Result OpenAt(std::u16string_view path, std::u16string_view parameters, bool wait,
                int depth);
  // The command line that opens the document at devicePath: kErrorNoAssociation when the
  // registry names none.
  Expected<std::u16string, Result> AssociatedCommand(const std::u16string& name,
                                                     const std::u16string& devicePath);
  Result Start(const Launch& launch, bool wait);
  std::vector<std::string> Environment() const;

  HostFileSystem& files_;
  RegistryStore& registry_;
  std::string deviceFolder_;
  std::string programPath_;
  std::vector<std::string> programOptions_;
  ProcessTable processes_;
  int nesting_;  // how many shells started this program's ancestors and itself
};

}  // namespace varnisk::platform
