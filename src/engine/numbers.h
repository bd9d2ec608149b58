#pragma once
// ParseNumber, the one conversion from text to number that every command uses, and
// EvaluateCondition, the test of IFEX.

#include <cstdint>

#include "engine/app_state.h"

namespace varnisk::engine {

// Reads the number at the start of text and ignores what follows it:
//   number := ("0x" | "0X") hexdigit* | digit*
// No blanks are passed over and no sign is read; a text without digits reads as 0, and
// digits beyond 32 bits wrap as 32-bit arithmetic does.
int32_t ParseNumber(const char16_t* text);

// 1 when the condition holds, 0 when not. May write a terminator into the condition
// (at a text-comparison operator).
//   condition := ["!"] left [operator right]
// with one operator of == != < <= > >= && || & | (numbers) or = ! (texts); without an
// operator the condition tests whether a file or folder of that name exists.
int EvaluateCondition(AppState& app, char16_t* condition);

}  // namespace varnisk::engine
