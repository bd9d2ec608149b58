#pragma once
// ScriptText: the text of one script, shared by the run that started it and
// every inner run of CALL on it. It answers the forward searches of flow control
// (PROC, ENDP, the closing IFEX line) from an index of where each keyword stands, so a
// long script with many calls is not scanned again for every call.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnisk::engine {

class ScriptText {
 public:
  // text: terminated, owned by the caller and alive for every run on it. Runs never
  // write into it, so the index stays true.
  explicit ScriptText(const char16_t* text);

  const char16_t* Begin() const { return begin_; }
  // The text's terminator: a cursor set here ends the run (the run's EndOfScript).
  const char16_t* End() const { return end_; }

  // The first occurrence of needle that begins at or after from, or nullptr.
  const char16_t* Find(const char16_t* from, std::u16string_view needle);

 private:
  const std::vector<uint32_t>& Positions(std::u16string_view key);

  const char16_t* begin_;
  const char16_t* end_;
  // Offsets of every occurrence of a four-unit key, built on the first search for it.
  std::unordered_map<std::u16string, std::vector<uint32_t>> index_;
};

}  // namespace varnisk::engine
