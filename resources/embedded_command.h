#pragma once
// The command stored in the program file: what runs when the command line is empty.
// A 56-byte field (28 UTF-16 units: a terminated text of at most 27) that `--embed`
// rewrites in a copy of the program.

#include <string>
#include <string_view>

namespace varnisk::resources {

constexpr size_t kEmbeddedCommandUnits = 28;

// The command as the program file holds it ("VKUI" unless the file was made otherwise).
std::u16string EmbeddedCommand();

// The bytes that identify the field in the program file: a marker and the field as it
// stands now.
std::string EmbeddedFieldImage();

// The same bytes holding command instead; empty when the command does not fit the
// field.
std::string EmbeddedFieldImageFor(std::u16string_view command);

}  // namespace varnisk::resources
