#pragma once
// Which user interface a run gets from `--ui`: `auto` picks what the surroundings allow.

#include <string>
#include <string_view>

#include "platform/expected.h"

namespace varnisk::ui {

enum class UiMode { kNone, kTty };

// What a run finds around it.
struct UiSurroundings {
  bool display = false;    // DISPLAY or WAYLAND_DISPLAY is set
  bool terminals = false;  // standard input and output are terminals
};

// The mode for --ui requested ("auto", "gui", "tty", "none"), or a message for a mode
// this build cannot show. This build has no windows of its own (gui): auto picks tty
// when standard input and output are terminals, display or not, and none otherwise.
Expected<UiMode, std::string> ChooseUiMode(std::string_view requested,
                                           const UiSurroundings& surroundings);

}  // namespace varnisk::ui
