#include "system/message_box.h"

#include "engine/numbers.h"
#include "system/arguments.h"

namespace varnisk::system {
namespace {

constexpr uint32_t kIconInformation = 0x40;
// Brings the box to the front even when another program is active.
constexpr uint32_t kSetForeground = 0x10000;

}  // namespace

Result MessageBoxCommand(engine::AppState& app, char16_t* argument) {
  std::u16string_view caption = app.programTitle;
  uint32_t flags = kIconInformation;
  if (char16_t* captionText = CutAtArgSep(argument)) {
    // Given flags replace the information icon entirely.
    if (const char16_t* flagText = CutAtArgSep(captionText)) {
      flags = static_cast<uint32_t>(engine::ParseNumber(flagText));
    }
    caption = engine::TextView(captionText);
  }
  return app.ui->ShowMessageBox(caption, engine::TextView(argument), flags | kSetForeground);
}

}  // namespace varnisk::system
