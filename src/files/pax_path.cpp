#include "files/pax_path.h"

#include <cstring>

namespace varnisk::files {
namespace {

// Longer records are not written by any tar program; the bound keeps the count in range.
constexpr uint64_t kMaxRecord = uint64_t{1} << 40;

}  // namespace

void PaxPathScanner::Start() {
  state_ = State::kLength;
  length_ = 0;
  consumed_ = 0;
  found_ = Found::kNone;
  pathSize_ = 0;
}

void PaxPathScanner::Take(std::string_view bytes) {
  for (char c : bytes) {
    if (state_ == State::kBroken) return;
    TakeByte(c);
  }
}

void PaxPathScanner::TakeByte(char c) {
  ++consumed_;
  switch (state_) {
    case State::kLength:
      if (c >= '0' && c <= '9' && length_ < kMaxRecord) {
        length_ = length_ * 10 + static_cast<uint64_t>(c - '0');
      } else if (c == ' ' && consumed_ > 1) {
        state_ = State::kKey;
        keySize_ = 0;
      } else {
        state_ = State::kBroken;
      }
      break;
    case State::kKey:
      if (consumed_ >= length_) {
        state_ = State::kBroken;  // no room left for "=" and the final line break
      } else if (c == '=') {
        keyIsPath_ = keySize_ == 4 && std::memcmp(key_, "path", 4) == 0;
        valueSize_ = 0;
        valueTooLong_ = false;
        state_ = State::kValue;
      } else if (keySize_ < sizeof key_) {
        key_[keySize_++] = c;
      }
      break;
    case State::kValue:
      if (consumed_ == length_) {
        if (c == '\n') {
          EndRecord();
        } else {
          state_ = State::kBroken;
        }
      } else if (keyIsPath_) {
        if (valueSize_ < kMaxPath) {
          value_[valueSize_++] = c;
        } else {
          valueTooLong_ = true;
        }
      }
      break;
    case State::kBroken:
      break;
  }
}

// An empty path undoes an earlier one: the header's own name counts again.
void PaxPathScanner::EndRecord() {
  if (keyIsPath_) {
    if (valueTooLong_) {
      found_ = Found::kTooLong;
    } else if (valueSize_ == 0) {
      found_ = Found::kNone;
    } else {
      found_ = Found::kPath;
      std::memcpy(path_, value_, valueSize_);
      pathSize_ = valueSize_;
    }
  }
  state_ = State::kLength;
  length_ = 0;
  consumed_ = 0;
}

}  // namespace varnisk::files
