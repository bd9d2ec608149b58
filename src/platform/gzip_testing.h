#pragma once
// Gzip data for tests, made in memory with zlib.

#include <zlib.h>

#include <string>
#include <string_view>

namespace varnisk::platform {

// bytes as one gzip member (an empty string if zlib fails).
inline std::string Gzip(std::string_view bytes) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return "";
  }
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return status == Z_STREAM_END ? out : "";
}

}  // namespace varnisk::platform
