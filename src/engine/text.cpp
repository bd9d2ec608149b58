#include "engine/text.h"

namespace varnisk::engine {

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

bool CharEqualNoCase(char16_t a, char16_t b) {
  if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
  if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
  return a == b;
}

size_t PrefixLengthNoCase(const char16_t* text, std::u16string_view word) {
  size_t n = 0;
  while (text[n] != 0 && n < word.size() && CharEqualNoCase(text[n], word[n])) ++n;
  return n;
}

size_t TextLength(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

char16_t* SkipBlanks(char16_t* p) {
  while (*p == u' ' || *p == u'\t') ++p;
  return p;
}

char16_t* SplitAtArgSep(char16_t* text) {
  char16_t* p = text;
  while (*p != 0 && *p != kArgSep) ++p;
  if (*p == 0) return p;
  *p = 0;
  return p + 1;
}

}  // namespace varnisk::engine
