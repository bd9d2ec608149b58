// The code-page module: conversions between UTF-16 and Windows code pages through ICU's
// converters, opened once per code page and kept for the life of the module.

#include "platform/icu/code_page_module.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

namespace {

// ICU refuses to convert longer runs in one call (its lengths are 32-bit), so longer
// input and output are handed over in pieces of at most this many units.
constexpr size_t kMaxRun = size_t{1} << 28;

// Windows code pages that ICU does not know as "windows-N": the IBM-numbered EBCDIC and
// DOS tables, the 20xxx EBCDIC tables (IBM's number plus 20000) and the ISO, EUC,
// ISO-2022 and Unicode code pages that ICU names after their standards.
struct Alias {
  uint32_t codePage;
  const char* name;
};
constexpr Alias kAliases[] = {
    {37, "ibm-37"},          {500, "ibm-500"},        {708, "ASMO-708"},
    {860, "ibm-860"},        {863, "ibm-863"},        {864, "ibm-864"},
    {865, "ibm-865"},        {870, "ibm-870"},        {875, "ibm-875"},
    {1026, "ibm-1026"},      {1047, "ibm-1047"},      {1140, "ibm-1140"},
    {1141, "ibm-1141"},      {1142, "ibm-1142"},      {1143, "ibm-1143"},
    {1144, "ibm-1144"},      {1145, "ibm-1145"},      {1146, "ibm-1146"},
    {1147, "ibm-1147"},      {1148, "ibm-1148"},      {1149, "ibm-1149"},
    {12000, "UTF-32LE"},     {12001, "UTF-32BE"},     {20273, "ibm-273"},
    {20277, "ibm-277"},      {20278, "ibm-278"},      {20280, "ibm-280"},
    {20284, "ibm-284"},      {20285, "ibm-285"},      {20290, "ibm-290"},
    {20297, "ibm-297"},      {20420, "ibm-420"},      {20424, "ibm-424"},
    {20838, "ibm-838"},      {20871, "ibm-871"},      {20932, "EUC-JP"},
    {20936, "GB2312"},       {21025, "ibm-1025"},     {28591, "ISO-8859-1"},
    {38598, "ISO-8859-8-I"}, {50220, "ISO-2022-JP"},  {50225, "ISO-2022-KR"},
    {50227, "ISO-2022-CN"},  {51932, "EUC-JP"},       {51936, "GB2312"},
    {52936, "HZ-GB-2312"},
};

std::string ConverterName(uint32_t codePage) {
  for (const Alias& alias : kAliases) {
    if (alias.codePage == codePage) return alias.name;
  }
  return "windows-" + std::to_string(codePage);
}

// Every byte sequence a table does not define becomes U+FFFD. ICU's own substitute is
// U+001A for tables whose substitute byte is 0x1A, a control character that text
// handling downstream would take for an end-of-file mark.
void SubstituteReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* error) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close and clone need nothing written
  static constexpr char16_t kReplacement = 0xFFFD;
  *error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, error);
}

// Replaces the bytes 0x1A, 0x1C and 0x7F with the three given ones.
void MapControlBytes(std::span<char> bytes, char for1A, char for1C, char for7F) {
  for (char& byte : bytes) {
    if (byte == 0x1A) byte = for1A;
    else if (byte == 0x1C) byte = for1C;
    else if (byte == 0x7F) byte = for7F;
  }
}

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};

struct Table {
  std::unique_ptr<UConverter, ConverterCloser> converter;  // null: no such code page
  // ICU's tables of the IBM PC code pages (437, 850, 932 …) rotate the bytes 0x1A, 0x1C
  // and 0x7F among the controls U+001C, U+007F and U+001A; the device maps them to the
  // same-numbered controls, as every other ASCII byte.
  bool rotatesControls = false;
};

Table OpenTable(uint32_t codePage) {
  Table table;
  if (codePage == 0) return table;  // "the ANSI code page" is the caller's to resolve
  UErrorCode error = U_ZERO_ERROR;
  table.converter.reset(ucnv_open(ConverterName(codePage).c_str(), &error));
  if (U_FAILURE(error)) {
    table.converter.reset();
    return table;
  }
  UConverter* converter = table.converter.get();
  ucnv_setToUCallBack(converter, SubstituteReplacement, nullptr, nullptr, nullptr, &error);
  // Set as text, so that tables which do not keep "?" at 0x3F (EBCDIC) still write "?".
  ucnv_setSubstString(converter, u"?", 1, &error);
  if (U_FAILURE(error)) {
    table.converter.reset();
    return table;
  }
  const char controlByte = 0x1A;
  char16_t decoded[4];
  const int32_t length = ucnv_toUChars(converter, decoded, 4, &controlByte, 1, &error);
  table.rotatesControls = U_SUCCESS(error) && length == 1 && decoded[0] == 0x1C;
  return table;
}

// The table of a code page, opened on first use; a code page without one is remembered
// too, so that it is looked up only once.
const Table& FindTable(uint32_t codePage) {
  static std::unordered_map<uint32_t, Table> tables;
  auto found = tables.find(codePage);
  if (found == tables.end()) found = tables.emplace(codePage, OpenTable(codePage)).first;
  return found->second;
}

// Where converted units go: the caller's buffer while it has room, then a scratch buffer
// whose contents are dropped, so that the whole length is still counted.
template <typename Unit>
class Sink {
 public:
  Sink(Unit* out, size_t capacity) : out_(out), capacity_(capacity) {}

  Unit* Begin() { return written_ < capacity_ ? out_ + written_ : scratch_; }
  Unit* End() {
    if (written_ < capacity_) return out_ + written_ + std::min(capacity_ - written_, kMaxRun);
    return std::end(scratch_);
  }
  void Reached(Unit* end) {
    const auto count = static_cast<size_t>(end - Begin());
    if (written_ < capacity_) written_ += count;
    total_ += count;
  }
  int64_t Total() const { return static_cast<int64_t>(total_); }

 private:
  Unit* out_;
  size_t capacity_;
  size_t written_ = 0;
  size_t total_ = 0;
  Unit scratch_[1024];
};

// Runs one of ICU's streaming conversions (ucnv_toUnicode, ucnv_fromUnicode) over the
// whole input, flushing at its end so that an incomplete last sequence is substituted.
template <typename In, typename Out>
int64_t Convert(void (*step)(UConverter*, Out**, const Out*, const In**, const In*, int32_t*,
                             UBool, UErrorCode*),
                UConverter* converter, const In* source, size_t length, Out* out,
                size_t capacity) {
  const In* const sourceEnd = source + length;
  Sink<Out> sink(out, capacity);
  while (true) {
    const In* runEnd = source + std::min(static_cast<size_t>(sourceEnd - source), kMaxRun);
    const bool last = runEnd == sourceEnd;
    Out* target = sink.Begin();
    UErrorCode error = U_ZERO_ERROR;
    step(converter, &target, sink.End(), &source, runEnd, nullptr, last, &error);
    sink.Reached(target);
    if (error == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_FAILURE(error)) return -1;
    if (last) return sink.Total();
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int64_t VarniskCodePageToUtf16(
    uint32_t codePage, const char* bytes, size_t length, char16_t* out, size_t capacity) {
  try {
    const Table& table = FindTable(codePage);
    if (!table.converter) return -1;
    std::string rotated;
    if (table.rotatesControls) {
      // Hand ICU the byte it reads as the control the device reads from this one.
      rotated.assign(bytes, length);
      MapControlBytes(rotated, 0x7F, 0x1A, 0x1C);
      bytes = rotated.data();
    }
    ucnv_resetToUnicode(table.converter.get());
    return Convert(ucnv_toUnicode, table.converter.get(), bytes, length, out, capacity);
  } catch (...) {  // out of memory: no exception may leave the module
    return -1;
  }
}

__attribute__((visibility("default"))) int64_t VarniskCodePageFromUtf16(
    uint32_t codePage, const char16_t* text, size_t length, char* out, size_t capacity) {
  try {
    const Table& table = FindTable(codePage);
    if (!table.converter) return -1;
    ucnv_resetFromUnicode(table.converter.get());
    const int64_t total =
        Convert(ucnv_fromUnicode, table.converter.get(), text, length, out, capacity);
    if (table.rotatesControls && total > 0) {
      // These tables never use the three bytes inside a multi-byte character.
      MapControlBytes({out, std::min(static_cast<size_t>(total), capacity)}, 0x1C, 0x7F, 0x1A);
    }
    return total;
  } catch (...) {
    return -1;
  }
}

__attribute__((visibility("default"))) int VarniskCodePageSupported(uint32_t codePage) {
  try {
    return FindTable(codePage).converter ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
