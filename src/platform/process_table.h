#pragma once
// The table of the processes the device shell started on one device, kept in
// DEV/state/processes so that every program using the device sees the same table (a
// later run's KILL ends what an earlier run started).
//
// The file is text, one row per line, rewritten whole (a new file renamed over the old)
// while DEV/state/processes.lock is locked:
//   boot <the host's boot id>
//   <pid> <start time> <device path of the program>
// The start time is field 22 of /proc/<pid>/stat (clock ticks after boot): with the boot
// id it tells the recorded process from a later one that got the same pid. Rows of
// another boot, of ended processes and of reused pids are dropped whenever the table is
// written.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/result.h"

namespace varnisk::platform {

struct DeviceProcess {
  pid_t pid = 0;
  uint64_t startTime = 0;
  std::u16string path;  // the device path of the program ("\Windows\Varnisk.exe")

  // The program's file name without its folder, the name the device lists it by.
  std::u16string Name() const;
  bool operator==(const DeviceProcess&) const = default;
};

// Reads and changes the table of one device. Holds no file open between calls; several
// programs may use one device's table at once without losing rows.
class ProcessTable {
 public:
  explicit ProcessTable(std::string stateFolder);

  // Adds a row for a running process.
  Result Add(const DeviceProcess& process);
  // Takes the row out again (after the process ended, or when it never ran).
  Result Remove(const DeviceProcess& process);

  // The recorded processes that still run, oldest row first.
  Expected<std::vector<DeviceProcess>, Result> List();

  // Ends a recorded process that still runs: a polite request (SIGTERM) first and, when
  // it has not ended after a short wait, SIGKILL. Anything else, in particular a process
  // the shell did not start, is never signalled: kErrorInvalidParameter.
  Result End(const DeviceProcess& process);

 private:
  // Runs change on the rows under the lock and writes the result when it changed them.
  template <class Change>
  Result Update(Change change);

  std::string tablePath_;
  std::string lockPath_;
  std::string bootId_;
};

// The start time of a running process, or nullopt when pid names no process or one that
// has ended and is only waiting to be reaped.
std::optional<uint64_t> ProcessStartTime(pid_t pid);

}  // namespace varnisk::platform
