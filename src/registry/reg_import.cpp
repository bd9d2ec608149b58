#include "registry/reg_import.h"

#include "engine/numbers.h"
#include "engine/text.h"
#include "registry/registry_text.h"

namespace varnisk::registry {
namespace {

using platform::KeyHandle;
using platform::RegistryStore;
using platform::RootKey;

// Quote marks are kept as this unit in an assembled line: an escaped double quote is
// then an ordinary character, and a unit of code 1 counts as a quote mark as well.
constexpr char16_t kQuote = 1;

struct RootPrefix {
  std::u16string_view prefix;
  RootKey root;
};

constexpr RootPrefix kRootKeyTable[] = {
    {u"HKU\\", RootKey::kUsers},
    {u"HKCU\\", RootKey::kCurrentUser},
    {u"HKCR\\", RootKey::kClassesRoot},
    {u"HKLM\\", RootKey::kLocalMachine},
    {u"HKEY_USERS\\", RootKey::kUsers},
    {u"HKEY_CURRENT_USER\\", RootKey::kCurrentUser},
    {u"HKEY_CLASSES_ROOT\\", RootKey::kClassesRoot},
    {u"HKEY_LOCAL_MACHINE\\", RootKey::kLocalMachine},
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Reads one line from p into line and returns where the next line begins.
//   key line     "[" everything to the line break, unchanged
//   other lines  '"' is a quote mark; "\" passes over the blanks and line breaks after
//                it and takes the next unit as it is (so a "\" at a line's end joins
//                the next line)
const char16_t* AssembleLine(const char16_t* p, std::u16string& line) {
  line.clear();
  const bool keyLine = *p == u'[';
  for (; *p != 0 && *p != u'\r' && *p != u'\n'; ++p) {
    char16_t c = *p;
    if (!keyLine && c == u'\\') {
      ++p;
      while (IsBlank(*p)) ++p;
      if (*p == 0) break;
      line.push_back(*p);
      continue;
    }
    if (!keyLine && c == u'"') c = kQuote;
    line.push_back(c);
  }
  return p;
}

// A tag that begins text, its ASCII letters compared without case.
bool StartsWithTag(std::u16string_view text, std::u16string_view tag) {
  if (text.size() < tag.size()) return false;
  for (size_t i = 0; i < tag.size(); ++i) {
    if (!engine::CharEqualNoCase(text[i], tag[i])) return false;
  }
  return true;
}

// The hexadecimal number at the start of digits, read by ParseNumber as if "0x" stood
// in front.
int32_t ParseHex(std::u16string_view digits) {
  std::u16string number = u"0x";
  for (char16_t c : digits) {
    if (engine::HexDigitValue(c) == 0 && c != u'0') break;
    number.push_back(c);
  }
  return engine::ParseNumber(number.c_str());
}

std::string DwordBytes(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                     static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

class Importer {
 public:
  explicit Importer(RegistryStore& store) : store_(store) {}
  ~Importer() { CloseCurrent(); }

  // Applies one assembled line; false when it makes no sense. A line is empty only when
  // it was a lone "\" at the end of the text.
  bool Apply(std::u16string_view line) {
    if (line.empty()) return false;
    switch (line.front()) {
      case u'[':
        ApplyKeyLine(line);
        return true;
      case u';':
        return true;
      case u'@':
      case kQuote:
        if (current_ == 0) return false;
        ApplyValueLine(line);
        return true;
      default:
        return false;
    }
  }

 private:
  void CloseCurrent() {
    if (current_ != 0) store_.CloseKey(current_);
    current_ = 0;
  }

  // "[" path "]" opens (creating) the key; "[-" path "]" deletes it. The last unit,
  // normally "]", is dropped unread.
  void ApplyKeyLine(std::u16string_view line) {
    CloseCurrent();
    std::u16string path(line.substr(1, line.size() >= 2 ? line.size() - 2 : 0));
    const bool remove = !path.empty() && path.front() == u'-';
    const char16_t* position = path.c_str() + (remove ? 1 : 0);
    const std::optional<RootKey> root = MatchRootKey(&position);
    if (!root) return;
    if (remove) {
      store_.DeleteKey(*root, position);
      return;
    }
    auto key = store_.CreateKey(*root, position);
    if (key) current_ = *key;
  }

  //   "@" ... "=" value      the default value
  //   quote name quote ... "=" value
  void ApplyValueLine(std::u16string_view line) {
    std::u16string_view name;
    size_t afterName;
    if (line.front() == u'@') {
      afterName = 1;
    } else {
      const size_t close = line.find(kQuote, 1);
      if (close == std::u16string_view::npos) return;
      name = line.substr(1, close - 1);
      afterName = close + 1;
    }
    const size_t equals = line.find(u'=', afterName);
    if (equals == std::u16string_view::npos) return;
    ApplyValue(name, line.substr(equals + 1));
  }

  void ApplyValue(std::u16string_view name, std::u16string_view value) {
    if (StartsWithTag(value, u"DWORD:")) {
      store_.SetValue(current_, name, platform::kRegDword, DwordBytes(ParseHex(value.substr(6))));
    } else if (StartsWithTag(value, u"HEX")) {
      uint32_t type = platform::kRegBinary;
      if (value.size() > 3 && value[3] == u'(') type = static_cast<uint32_t>(ParseHex(value.substr(4)));
      const size_t colon = value.find(u':', 3);
      if (colon == std::u16string_view::npos) return;
      store_.SetValue(current_, name, type, ParseByteList(value.substr(colon + 1)));
    } else if (StartsWithTag(value, u"MULTI_SZ:")) {
      ApplyMultiString(name, value.substr(9));
    } else {
      const uint32_t type = StartsWithTag(value, u"MUI_SZ:") ? platform::kRegMuiSz : platform::kRegSz;
      const size_t open = value.find(kQuote);
      if (open == std::u16string_view::npos) {
        if (!value.empty() && value.front() == u'-') store_.DeleteValue(current_, name);
        return;
      }
      const size_t close = value.find(kQuote, open + 1);
      if (close == std::u16string_view::npos) return;
      store_.SetValue(current_, name, type, StringBytes(value.substr(open + 1, close - open - 1)));
    }
  }

  // Strings between quote marks; what stands between a closing mark and the next
  // opening one (normally ",") is passed over.
  void ApplyMultiString(std::u16string_view name, std::u16string_view text) {
    size_t open = text.find(kQuote);
    if (open == std::u16string_view::npos) return;
    std::u16string strings;
    while (open != std::u16string_view::npos) {
      size_t close = text.find(kQuote, open + 1);
      const size_t end = close == std::u16string_view::npos ? text.size() : close;
      strings.append(text.substr(open + 1, end - open - 1));
      strings.push_back(0);
      if (close == std::u16string_view::npos) break;
      open = text.find(kQuote, close + 1);
    }
    strings.push_back(0);
    store_.SetValue(current_, name, platform::kRegMultiSz, UnitBytes(strings));
  }

  RegistryStore& store_;
  KeyHandle current_ = 0;
};

}  // namespace

size_t PrefixLength(std::u16string_view first, const char16_t* second) {
  size_t n = 0;
  while (n < first.size() && first[n] != 0 && first[n] == second[n]) ++n;
  return n;
}

std::optional<RootKey> MatchRootKey(const char16_t** position) {
  for (const RootPrefix& entry : kRootKeyTable) {
    if (PrefixLength(entry.prefix, *position) == entry.prefix.size()) {
      *position += entry.prefix.size();
      return entry.root;
    }
  }
  return std::nullopt;
}

std::string ParseByteList(std::u16string_view text) {
  std::string bytes;
  size_t start = 0;
  while (start < text.size()) {
    const size_t comma = text.find(u',', start);
    const size_t end = comma == std::u16string_view::npos ? text.size() : comma;
    const char16_t high = end > start ? text[start] : 0;
    const char16_t low = end > start + 1 ? text[start + 1] : 0;
    bytes.push_back(static_cast<char>(engine::HexDigitValue(high) * 16 + engine::HexDigitValue(low)));
    if (comma == std::u16string_view::npos) break;
    start = comma + 1;
  }
  return bytes;
}

Result ImportRegText(engine::AppState& app, const char16_t* text, const char16_t** stop) {
  RegistryStore& store = *app.platform.registry;
  store.BeginBatch();
  Result result = kSuccess;
  {
    Importer importer(store);
    std::u16string line;
    const char16_t* p = text;
    for (;;) {
      while (IsBlank(*p)) ++p;
      if (*p == 0) break;
      const char16_t* lineStart = p;
      p = AssembleLine(p, line);
      if (importer.Apply(line)) continue;
      result = kErrorNotRegistryFile;
      if (stop != nullptr) {
        *stop = lineStart;
        break;
      }
    }
    if (stop != nullptr && result == kSuccess) *stop = p;
  }
  store.EndBatch();
  return result;
}

}  // namespace varnisk::registry
