#include "files/shortcut.h"

#include <string>

#include "engine/text.h"
#include "files/file_routines.h"

namespace varnisk::files {
namespace {

// The shortcut text is built in 1,024 units and converted into 1,024 bytes, the
// terminator included.
constexpr size_t kShortcutBuffer = 1024;

std::u16string Decimal(size_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

// Cuts text at its first separator; what follows it, or nullptr when there is none.
char16_t* NextField(char16_t* text) {
  char16_t* p = text;
  while (*p != 0 && *p != engine::kArgSep) ++p;
  if (*p == 0) return nullptr;
  *p = 0;
  return p + 1;
}

}  // namespace

Result WriteShortcut(engine::AppState& app, char16_t* argument) {
  char16_t* target = NextField(argument);
  if (target == nullptr) return kErrorPathNotFound;
  char16_t* parameters = NextField(target);
  char16_t* icon = parameters ? NextField(parameters) : nullptr;
  if (icon != nullptr) {
    // "file,index" arrives as two fields: the first separator in the icon is a comma.
    for (char16_t* p = icon; *p != 0; ++p) {
      if (*p == engine::kArgSep) {
        *p = u',';
        break;
      }
    }
  }
  const std::u16string_view targetText = engine::TextView(target);
  const std::u16string_view parameterText = parameters ? engine::TextView(parameters) : u"";
  std::u16string command;
  if (!parameterText.empty()) {
    command = u"\"" + std::u16string(targetText) + u"\" " + std::u16string(parameterText);
  } else if (targetText.find(u' ') != std::u16string_view::npos) {
    command = u"\"" + std::u16string(targetText) + u"\"";
  } else {
    command = targetText;
  }
  std::u16string text = Decimal(command.size()) + u"#" + command;
  if (icon != nullptr && *icon != 0) {
    if (!targetText.empty()) text.push_back(u'?');
    text += engine::TextView(icon);
  }
  if (text.size() >= kShortcutBuffer) return kEFail;
  const std::string bytes = app.platform.codePages->FromUtf16(platform::kCodePageAnsi, text);
  if (bytes.size() >= kShortcutBuffer) return kEFail;
  platform::FileSystem& files = *app.platform.files;
  const std::u16string_view path = engine::TextView(argument);
  EnsureDirectories(files, path);
  return WriteTextFile(files, path, bytes, false) > 0 ? kSuccess : kEFail;
}

}  // namespace varnisk::files
