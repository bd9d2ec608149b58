#include "ui/ui_mode.h"

namespace varnisk::ui {

Expected<UiMode, std::string> ChooseUiMode(std::string_view requested,
                                           const UiSurroundings& surroundings) {
  if (requested == "none") return UiMode::kNone;
  if (requested == "tty") return UiMode::kTty;
  if (requested == "gui") {
    return Unexpected(std::string("--ui gui is not available in this build; use --ui tty or none"));
  }
  return surroundings.terminals ? UiMode::kTty : UiMode::kNone;
}

}  // namespace varnisk::ui
