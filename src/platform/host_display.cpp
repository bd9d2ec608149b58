#include "platform/host_display.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace varnisk::platform {
namespace {

bool IsOrientation(uint32_t value) {
  return value == kOrientation0 || value == kOrientation90 || value == kOrientation180 ||
         value == kOrientation270;
}

}  // namespace

HostDisplay::HostDisplay(std::string stateFolder)
    : path_(std::move(stateFolder) + "/display") {}

Result HostDisplay::GetOrientation(uint32_t* orientation) {
  *orientation = kOrientation0;
  std::ifstream in(path_);
  std::string word;
  uint32_t value = 0;
  // A missing or damaged file is a screen that never turned.
  if (in >> word >> value && word == "orientation" && IsOrientation(value)) {
    *orientation = value;
  }
  return kDisplayChangeSuccessful;
}

Result HostDisplay::SetOrientation(uint32_t orientation) {
  if (!IsOrientation(orientation)) return kDisplayChangeBadMode;
  // Written beside and renamed over, so that a reader never sees half a file.
  const std::string fresh = path_ + ".new";
  {
    std::ofstream out(fresh, std::ios::trunc);
    out << "orientation " << orientation << "\n";
    if (!out.flush()) return kDisplayChangeFailed;
  }
  if (std::rename(fresh.c_str(), path_.c_str()) != 0) return kDisplayChangeFailed;
  return kDisplayChangeSuccessful;
}

}  // namespace varnisk::platform
