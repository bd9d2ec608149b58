#include "platform/utf.h"

#include <cstdint>
#include <cstring>

namespace varnisk::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}


// Decodes one UTF-8 sequence at bytes[i]; advances i past what it consumed (at least
// one byte). Overlong forms, surrogates and values above U+10FFFF are malformed.
char32_t DecodeUtf8(std::string_view bytes, size_t& i) {
  const auto lead = static_cast<uint8_t>(bytes[i++]);
  if (lead < 0x80) return lead;
  int extra;
  char32_t c;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= bytes.size()) return kReplacement;
    const auto next = static_cast<uint8_t>(bytes[i]);
    if ((next & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (next & 0x3F);
    ++i;
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsAscii(std::string_view bytes) {
  // Eight bytes at a time: the scripts this runs on are mostly ASCII and long.
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < bytes.size(); ++i) {
    if (static_cast<uint8_t>(bytes[i]) >= 0x80) return false;
  }
  return true;
}

std::u16string WidenAscii(std::string_view bytes) {
  std::u16string out;
  // Written once, not cleared first: script files run to megabytes. The callback's size
  // argument is not used: this standard library passes the capacity there.
  out.resize_and_overwrite(bytes.size(), [&](char16_t* units, size_t) {
    for (size_t i = 0; i < bytes.size(); ++i) units[i] = static_cast<uint8_t>(bytes[i]);
    return bytes.size();
  });
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  if (IsAscii(bytes)) return WidenAscii(bytes);
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) AppendUtf16(out, DecodeUtf8(bytes, i));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace varnisk::platform
