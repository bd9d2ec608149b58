#pragma once
// Folder enumeration with a visitor: the machinery behind the default command and the
// FILE copy.

#include <string>
#include <string_view>

#include "engine/app_state.h"

namespace varnisk::files {

// The caller's choices, carried through an enumeration to its visitor.
struct MatchRequest {
  bool recursive = false;      // the path began with "!": walk the whole tree
  std::u16string pattern;      // the name pattern after the path's last "\"
  std::u16string argument;     // the default command's parameters, or the copy target
  std::u16string lastEnsured;  // the copy's last destination folder known to exist
  std::u16string copyTarget;   // the folder a tree is copied into, never walked as source
};

// A path of the device, like its 260-unit buffers, holds at most this many units.
constexpr size_t kMaxPathUnits = engine::kMaxPath - 1;

using Visitor = Result (*)(engine::AppState& app, MatchRequest& request,
                           std::u16string_view folder, const platform::FindEntry& entry);

// Calls visitor for each entry of folder that pattern matches, in order, until one
// answers kEAbort. The result is the last visit's; kErrorFileNotFound when nothing
// matched or the folder does not exist.
Result ForEachMatch(engine::AppState& app, Visitor visitor, MatchRequest& request,
                    std::u16string_view folder, std::u16string_view pattern);

// folder + "\" + name, or an empty text when that would exceed kMaxPathUnits.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace varnisk::files
