// Text-mode decoding of the input file.
#include "textio/input_stream.h"

#include <cstring>

namespace quillmar {

size_t DecodeText(std::span<char> bytes, bool* ended) {
  char* begin = bytes.data();
  size_t n = bytes.size();
  if (const void* eof = std::memchr(begin, 0x1A, n)) {
    n = static_cast<size_t>(static_cast<const char*>(eof) - begin);
    *ended = true;
  }
  // Slide each run of bytes between CRs down over the CRs before it.
  char* cr = static_cast<char*>(std::memchr(begin, '\r', n));
  if (cr == nullptr) return n;
  char* end = begin + n;
  char* out = cr;
  for (char* run = cr + 1; run < end;) {
    char* next = static_cast<char*>(std::memchr(run, '\r', static_cast<size_t>(end - run)));
    char* stop = next != nullptr ? next : end;
    std::memmove(out, run, static_cast<size_t>(stop - run));
    out += stop - run;
    run = stop + 1;
  }
  return static_cast<size_t>(out - begin);
}

std::optional<size_t> InputStream::Read(std::span<char> buf) {
  while (!failed_ && !ended_) {
    std::optional<size_t> got = source_.Read(buf);
    if (!got) {
      failed_ = true;
      break;
    }
    if (*got == 0) {
      ended_ = true;
      break;
    }
    // A block of nothing but CRs decodes to nothing, which is not the end.
    if (size_t n = DecodeText(buf.first(*got), &ended_)) return n;
  }
  if (failed_) return std::nullopt;
  return 0;
}

}  // namespace quillmar
