#include "platform/fake_shell.h"

#include <algorithm>

#include "platform/utf.h"

namespace varnisk::platform {

Result FakeShell::Open(std::u16string_view path, std::u16string_view parameters, bool wait) {
  std::string call = "open " + Utf16ToUtf8(path);
  if (!parameters.empty()) call += " " + Utf16ToUtf8(parameters);
  if (wait) call += " wait";
  calls.push_back(std::move(call));
  return result;
}

Expected<std::vector<ProcessEntry>, Result> FakeShell::ListProcesses() {
  if (listResult != kSuccess) return Unexpected{listResult};
  return processes;
}

Result FakeShell::EndProcess(const ProcessEntry& process) {
  calls.push_back("end " + Utf16ToUtf8(process.exeFile) + " " + std::to_string(process.id));
  if (endResult != kSuccess) return endResult;
  const auto found = std::find(processes.begin(), processes.end(), process);
  if (found == processes.end()) return kErrorInvalidParameter;
  processes.erase(found);
  return kSuccess;
}

}  // namespace varnisk::platform
