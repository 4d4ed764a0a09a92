// Reading the input up to its end-of-file byte.
#include "textio/input_stream.h"

#include <cstring>

namespace quillmar {

std::optional<size_t> InputStream::Read(std::span<char> buf) {
  if (failed_) return std::nullopt;
  if (ended_ || buf.empty()) return 0;
  std::optional<size_t> got = source_.Read(buf);
  if (!got) {
    failed_ = true;
    return std::nullopt;
  }
  size_t n = *got;
  if (consumed_ == 0) bom_ = n >= 3 && std::memcmp(buf.data(), "\xEF\xBB\xBF", 3) == 0;
  consumed_ += n;
  if (const void* eof = std::memchr(buf.data(), 0x1A, n); eof != nullptr) {
    n = static_cast<size_t>(static_cast<const char*>(eof) - buf.data());
    ended_ = marked_ = true;
  }
  if (n == 0) ended_ = true;  // the data is exhausted, or 0x1A came first
  return n;
}

}  // namespace quillmar
