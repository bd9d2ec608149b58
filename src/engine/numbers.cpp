#include "engine/numbers.h"

#include "engine/text.h"
#include "platform/text_case.h"

namespace varnisk::engine {
namespace {

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsOperatorChar(char16_t c) {
  return c == u'!' || c == u'&' || c == u'<' || c == u'=' || c == u'>' || c == u'|';
}

bool FileExists(AppState& app, const char16_t* path) {
  return app.platform.files->GetAttributes(TextView(path)).has_value();
}

}  // namespace

int32_t ParseNumber(const char16_t* text) {
  uint32_t value = 0;
  if (text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    for (const char16_t* p = text + 2; IsHexDigit(*p); ++p) {
      value = value * 16 + static_cast<uint32_t>(HexDigitValue(*p));
    }
  } else {
    for (const char16_t* p = text; *p >= u'0' && *p <= u'9'; ++p) {
      value = value * 10 + static_cast<uint32_t>(*p - u'0');
    }
  }
  return static_cast<int32_t>(value);
}

int EvaluateCondition(AppState& app, char16_t* condition) {
  bool invert = false;
  char16_t* text = condition;
  if (*text == u'!') {
    invert = true;
    ++text;
  }
  const int32_t left = ParseNumber(text);
  char16_t* op = text;
  while (*op != 0 && !IsOperatorChar(*op)) ++op;

  bool holds;
  const char16_t next = op[0] == 0 ? 0 : op[1];
  auto right = [&](int width) { return ParseNumber(op + width); };
  switch (*op) {
    case 0:
      holds = FileExists(app, text);
      break;
    case u'=':
    case u'!':
      if (next == u'=') {
        holds = (*op == u'=') == (left == right(2));
      } else {
        const char16_t kind = *op;
        *op = 0;
        const bool equal = platform::EqualsNoCase(TextView(text), TextView(op + 1));
        holds = kind == u'=' ? equal : !equal;
      }
      break;
    case u'<':
      holds = next == u'=' ? left <= right(2) : left < right(1);
      break;
    case u'>':
      holds = next == u'=' ? left >= right(2) : left > right(1);
      break;
    case u'&':
      holds = next == u'&' ? (left != 0 && right(2) != 0) : (left & right(1)) != 0;
      break;
    default:  // '|'
      holds = next == u'|' ? (left != 0 || right(2) != 0) : (left | right(1)) != 0;
      break;
  }
  return (holds != invert) ? 1 : 0;
}

}  // namespace varnisk::engine
