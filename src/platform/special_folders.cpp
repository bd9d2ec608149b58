#include "platform/platform.h"

namespace varnisk::platform {

std::u16string_view SpecialFolderPath(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::kApplicationData: return u"\\Application Data";
    case SpecialFolder::kProgramFiles: return u"\\Program Files";
    case SpecialFolder::kStartMenu: return u"\\Windows\\Start Menu";
    case SpecialFolder::kPrograms: return u"\\Windows\\Start Menu\\Programs";
    case SpecialFolder::kStartUp: return u"\\Windows\\StartUp";
    case SpecialFolder::kFavorites: return u"\\Windows\\Favorites";
    case SpecialFolder::kWindows: return u"\\Windows";
    case SpecialFolder::kPersonal: return u"\\My Documents";
  }
  return u"";
}

}  // namespace varnisk::platform
