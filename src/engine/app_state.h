#pragma once
// AppState: the one process-wide record, created once by the program's entry and handed
// to every run. It holds the device, the user interface, the log target and the ten
// script variables; there is no other global state.

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "ui/user_interface.h"

namespace varnisk::engine {

constexpr size_t kMaxPath = 260;  // units of a path or variable, terminator included

// PlatformFlags bits.
constexpr uint32_t kPlatformPocketPc = 0x10000;
constexpr uint32_t kPlatformVersion5 = 0x20000;

// Runs nest (CALL, LOAD, files opened by type, typed commands); past this depth a run
// is refused instead of exhausting the stack.
constexpr int kMaxRunDepth = 64;

using VariableSlot = std::array<char16_t, kMaxPath>;

struct AppState {
  platform::Platform platform;
  ui::UserInterface* ui = nullptr;
  std::u16string_view programTitle = u"Varnisk";
  uint32_t platformFlags = kPlatformPocketPc | kPlatformVersion5;
  // Non-null while executed lines are logged (the main window, or --log).
  platform::LogSink* logTarget = nullptr;
  // Base path of commands typed into the main window; recorded by VKUI.
  const char16_t* uiBasePath = nullptr;
  // %0 to %9: each a terminated text of at most 259 units.
  std::array<VariableSlot, 10> variables{};
  int runDepth = 0;
  // How many more runs may start; negative for no bound. Only harnesses that must bound
  // the work of scripts that call themselves more than once a level set it.
  int64_t runsLeft = -1;
};

}  // namespace varnisk::engine
