#pragma once
// ASOC: ties a file extension to the program in the device shell, or unties it.
//
//   ASOC .ext     HKEY_CLASSES_ROOT\.ext -> "Varnisk", and the class keys
//   ASOC          only the class keys: "Varnisk", its icon and its open command
//   ASOC !.ext    deletes HKEY_CLASSES_ROOT\.ext
//   ASOC !        deletes the class key "Varnisk" with everything below it

#include <string_view>

#include "engine/app_state.h"

namespace varnisk::registry {

// Adding always gives 0; removing gives the store's code for the deletion.
Result AssociateFiles(engine::AppState& app, std::u16string_view argument);

}  // namespace varnisk::registry
