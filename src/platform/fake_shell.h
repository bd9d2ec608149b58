#pragma once
// A device shell for the layers' unit tests: starts nothing, records what it was asked to
// open and end, and answers with results the test chooses.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace varnisk::platform {

class FakeShell : public DeviceShell {
 public:
  // Records "open PATH[ PARAMETERS][ wait]" (UTF-8, as the caller wrote them) and
  // answers result.
  Result Open(std::u16string_view path, std::u16string_view parameters, bool wait) override;
  // processes, or listResult when that is not kSuccess.
  Expected<std::vector<ProcessEntry>, Result> ListProcesses() override;
  // Records "end NAME ID" and takes the process out of processes; a process that is not
  // there gives kErrorInvalidParameter, as the host's table does, and endResult, when it
  // is not kSuccess, is the answer for every process.
  Result EndProcess(const ProcessEntry& process) override;

  std::vector<std::string> calls;
  Result result = kSuccess;
  std::vector<ProcessEntry> processes;
  Result listResult = kSuccess;
  Result endResult = kSuccess;
};

}  // namespace varnisk::platform
