// A message box asked on a terminal, on any input: the flags, the caption and the text
// the script gave, and whatever the user types (lines, control bytes, broken UTF-8, no
// line end, the input ending at any point).
//
// Input: four bytes of flags (little-endian), then the caption, a NUL, the text, a NUL,
// and the typed bytes.

#include <cstring>
#include <optional>
#include <string>

#include "platform/utf.h"
#include "ui/message_box_prompt.h"

namespace {

// Hands out the typed bytes line by line, as a terminal does, and then ends.
class TypedTerminal : public varnisk::ui::Terminal {
 public:
  explicit TypedTerminal(std::string_view typed) : typed_(typed) {}
  void Write(std::string_view text) override { shown_ += text.size(); }
  std::optional<std::string> ReadLine() override {
    if (typed_.empty()) return std::nullopt;
    const size_t end = typed_.find('\n');
    std::string line(typed_.substr(0, end));
    typed_.remove_prefix(end == std::string_view::npos ? typed_.size() : end + 1);
    return line;
  }

 private:
  std::string_view typed_;
  size_t shown_ = 0;
};

std::string_view Field(std::string_view& rest) {
  const size_t end = rest.find('\0');
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnisk;
  if (size < 4) return 0;
  uint32_t flags;
  std::memcpy(&flags, data, sizeof flags);
  std::string_view rest(reinterpret_cast<const char*>(data) + 4, size - 4);
  const std::u16string caption = platform::Utf8ToUtf16(Field(rest));
  const std::u16string text = platform::Utf8ToUtf16(Field(rest));
  TypedTerminal terminal(rest);
  const Result button = ui::AskMessageBox(terminal, caption, text, flags);
  if (button > ui::kButtonNo) __builtin_trap();  // only the device's button identifiers
  return 0;
}
