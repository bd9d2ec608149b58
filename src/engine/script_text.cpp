#include "engine/script_text.h"

#include <algorithm>

#include "engine/text.h"

namespace varnisk::engine {
namespace {

constexpr size_t kKeyLength = 4;

}  // namespace

ScriptText::ScriptText(const char16_t* text) : begin_(text), end_(text + TextLength(text)) {}

const std::vector<uint32_t>& ScriptText::Positions(std::u16string_view key) {
  std::u16string ownKey(key);
  auto found = index_.find(ownKey);
  if (found != index_.end()) return found->second;
  std::vector<uint32_t> positions;
  const std::u16string_view text(begin_, static_cast<size_t>(end_ - begin_));
  for (size_t at = text.find(key); at != std::u16string_view::npos;
       at = text.find(key, at + 1)) {
    positions.push_back(static_cast<uint32_t>(at));
  }
  return index_.emplace(std::move(ownKey), std::move(positions)).first->second;
}

const char16_t* ScriptText::Find(const char16_t* from, std::u16string_view needle) {
  if (from < begin_ || from >= end_ || needle.empty()) return nullptr;
  const size_t start = static_cast<size_t>(from - begin_);
  const std::u16string_view text(begin_, static_cast<size_t>(end_ - begin_));
  if (needle.size() < kKeyLength) {
    const size_t at = text.find(needle, start);
    return at == std::u16string_view::npos ? nullptr : begin_ + at;
  }
  const std::vector<uint32_t>& positions = Positions(needle.substr(0, kKeyLength));
  for (auto it = std::lower_bound(positions.begin(), positions.end(), start);
       it != positions.end(); ++it) {
    if (text.substr(*it, needle.size()) == needle) return begin_ + *it;
  }
  return nullptr;
}

}  // namespace varnisk::engine
