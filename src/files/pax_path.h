#pragma once
// The "path" record of a pax extended header (tar entry type "x"), which names the entry
// after it when its name does not fit the header or is not ASCII (archives written in
// the POSIX format by the common tar programs and libraries).

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnisk::files {

// Reads the header's data as it arrives, piece by piece, in fixed memory:
//   record := length " " key "=" value "\n"
// where length, in decimal, counts the whole record. The last "path" record wins. A
// record that breaks this form ends the reading: what came before it stays found.
class PaxPathScanner {
 public:
  // Values longer than this are kept only as "too long": no device path is that long.
  static constexpr size_t kMaxPath = 1024;

  enum class Found { kNone, kPath, kTooLong };

  void Start();
  void Take(std::string_view bytes);

  Found found() const { return found_; }
  // The path's bytes (UTF-8) when found() is kPath.
  std::string_view path() const { return {path_, pathSize_}; }

 private:
  enum class State { kLength, kKey, kValue, kBroken };

  void TakeByte(char c);
  void EndRecord();

  State state_ = State::kLength;
  uint64_t length_ = 0;    // of the current record, as its digits say
  uint64_t consumed_ = 0;  // bytes of the current record seen so far
  char key_[5] = {};       // the key's first bytes: one of five or more is not "path"
  size_t keySize_ = 0;
  bool keyIsPath_ = false;
  char value_[kMaxPath] = {};
  size_t valueSize_ = 0;
  bool valueTooLong_ = false;
  Found found_ = Found::kNone;
  char path_[kMaxPath] = {};
  size_t pathSize_ = 0;
};

}  // namespace varnisk::files
