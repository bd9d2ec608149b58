#pragma once
// REGX: one script line that writes, reads, compares or deletes a registry value, or
// deletes a key; and the small registry helpers other commands share.
//
//   REGX root\key\name=text        write text (REG_SZ)            -> the write's code
//   REGX root\key\#name=number     write a number (REG_DWORD)     -> the write's code
//   REGX root\key\@name=byte list  write bytes (REG_BINARY)       -> the write's code
//   REGX root\key\name             read into %0                   -> the read's code
//   REGX root\key\#name            read a number                  -> the number
//   REGX root\key\name=text?...    read into %0, compare as text  -> 1 or 0
//   REGX root\key\#name=number?... read a number and compare it   -> 1 or 0
//   REGX root\key\-name[=...?...]  delete the value               -> the delete's code
//   REGX root\key\-[=...?...]      delete the key                 -> the delete's code

#include <cstdint>
#include <string_view>

#include "engine/app_state.h"

namespace varnisk::registry {

// Runs the REGX argument text; the text is left exactly as it was.
Result RegCommand(engine::AppState& app, std::u16string_view argument);

// The shared helpers. Handles are 0 when a key could not be had; every helper then
// fails quietly.
platform::KeyHandle CreateRegKey(platform::RegistryStore& store, platform::RootKey root,
                                 std::u16string_view path);
platform::KeyHandle OpenRegKey(platform::RegistryStore& store, platform::RootKey root,
                               std::u16string_view path);
void CloseRegKey(platform::RegistryStore& store, platform::KeyHandle key);
// Writes text as REG_SZ with its NUL; the store's code.
Result WriteRegString(platform::RegistryStore& store, platform::KeyHandle key,
                      std::u16string_view name, std::u16string_view text);
// The number stored under name (at most 4 bytes of it), or 0 when it cannot be read.
uint32_t ReadRegDword(platform::RegistryStore& store, platform::KeyHandle key,
                      std::u16string_view name);

}  // namespace varnisk::registry
