#pragma once
// The device journal, DEV/state/journal: what happened to the device's power, keys and
// sounds, one line per event, for the user (and the tests) to read afterwards:
//   <local time, 2026-12-11T09:05:07.042> <kind> <code> [<what else>]
// for example "2026-12-11T09:05:07.042 power ioctl 0x0101003C restart". UTF-8, "\n" line
// breaks. Several programs may write to one device's journal at once: each line is added
// with one write to a file opened for appending, so lines never interleave.

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace varnisk::platform {

class HostJournal {
 public:
  // stateFolder is DEV/state; the clock gives the time of each line. Both outlive this.
  HostJournal(std::string stateFolder, Clock& clock);

  // Adds the line "<time> <kind> <details>". False when it could not be written.
  bool Record(std::string_view kind, std::string_view details);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  Clock& clock_;
};

// A code as the journal writes it: "0x" and eight upper-case hexadecimal digits.
std::string JournalCode(uint32_t code);

// Device text for a journal line: UTF-8, with line breaks and other control characters
// written as "?" so that one event stays one line.
std::string JournalText(std::u16string_view text);

}  // namespace varnisk::platform
