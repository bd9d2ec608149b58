#pragma once
// The device's tar reader: unpacks a tar archive, gzip-compressed (.tgz) or not, below a
// folder. TGZX and the default command's ".tgz" row use it.

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace varnisk::files {

// What ParseOctalField gives for a field that is not an octal number.
constexpr uint64_t kInvalidOctal = UINT64_MAX;

//   field := { octal digit | " " } [ NUL { any byte } ]
// A number field of a tar header: spaces are passed over wherever they stand and the
// first NUL ends the field; an empty field is 0. kInvalidOctal for any other byte (the
// base-256 form of huge sizes among them) and for a value beyond 64 bits.
uint64_t ParseOctalField(std::string_view field);

// Extracts every entry of the archive at the device path archive below destination
// (entry "a/b.txt" becomes destination\a\b.txt; an empty destination is the root),
// entry names read in the device's ANSI code page. Regular files and folders are made;
// links, devices and other kinds of entry are passed over. An entry is not written, and
// its data is read and dropped, when its name would leave the destination (absolute, or
// with a ".." component), when its path would exceed 259 units, or when the device
// refuses to create it; extraction goes on with the next entry.
// Results: 0 when the archive ended (its end marker, the end of its data even in the
// middle of an entry, a size field that is not a number, a long-name record that does
// not hold one); kTarOpenFailed, kTarReadFailed (the data is corrupt or cannot be read),
// kTarLongNameReadFailed; or the failure of a write into an extracted file, which ends
// the extraction there. Entries before the point where it ended stay extracted.
Result ExtractTarGz(platform::FileSystem& files, platform::CodePages& codePages,
                    std::u16string_view archive, std::u16string_view destination);

}  // namespace varnisk::files
