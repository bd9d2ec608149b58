#pragma once
// The display on the host: the emulated screen's orientation, kept per device in
// DEV/state/display ("orientation N"), so that it lasts from one run to the next. A
// device that never turned its screen stands at orientation 0.

#include <string>

#include "platform/platform.h"

namespace varnisk::platform {

class HostDisplay : public Display {
 public:
  explicit HostDisplay(std::string stateFolder);

  Result GetOrientation(uint32_t* orientation) override;
  // Accepts the four orientations 0, 1 (90 degrees), 2 (180) and 4 (270).
  Result SetOrientation(uint32_t orientation) override;

 private:
  std::string path_;
};

}  // namespace varnisk::platform
