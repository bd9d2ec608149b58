#include "resources/embedded_command.h"

#include <cstring>

namespace varnisk::resources {
namespace {

struct EmbeddedCommandField {
  char marker[32];
  char16_t command[kEmbeddedCommandUnits];
};

// Read through a volatile reference, so that the compiler reads the field where it lies
// in the program file instead of the text it was built with.
__attribute__((used)) const volatile EmbeddedCommandField kField = {
    "Varnisk embedded command", u"VKUI"};

std::string Image(const char16_t* command) {
  std::string image(sizeof(EmbeddedCommandField), '\0');
  for (size_t i = 0; i < sizeof kField.marker; ++i) image[i] = kField.marker[i];
  std::memcpy(image.data() + sizeof kField.marker, command,
              sizeof(char16_t) * kEmbeddedCommandUnits);
  return image;
}

}  // namespace

std::u16string EmbeddedCommand() {
  std::u16string command;
  for (size_t i = 0; i < kEmbeddedCommandUnits - 1 && kField.command[i] != 0; ++i) {
    command.push_back(kField.command[i]);
  }
  return command;
}

std::string EmbeddedFieldImage() {
  char16_t command[kEmbeddedCommandUnits];
  for (size_t i = 0; i < kEmbeddedCommandUnits; ++i) command[i] = kField.command[i];
  return Image(command);
}

std::string EmbeddedFieldImageFor(std::u16string_view text) {
  if (text.size() > kEmbeddedCommandUnits - 1) return {};
  char16_t command[kEmbeddedCommandUnits] = {};
  for (size_t i = 0; i < text.size(); ++i) command[i] = text[i];
  return Image(command);
}

}  // namespace varnisk::resources
