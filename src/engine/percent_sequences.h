#pragma once
// The %-sequences of line assembly: %0 to %9, folders, date and time, the last result.

#include <cstddef>

#include "engine/app_state.h"

namespace varnisk::engine {

struct ScriptContext;

// Writes the expansion of "%" followed by c into out (which has room for capacity
// units, the terminator not counted) and returns the number of units written. What does
// not fit is left out.
size_t ExpandPercent(AppState& app, const ScriptContext& context, char16_t c, char16_t* out,
                     size_t capacity);

// The device's short date and time (Chinese, PRC): "2026/12/11" and "9:05:07".
std::u16string FormatShortDate(const platform::LocalTime& time);
std::u16string FormatShortTime(const platform::LocalTime& time);

}  // namespace varnisk::engine
