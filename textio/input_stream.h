// Reads a settings file as text: every CR byte is dropped wherever it stands,
// and a 0x1A byte ends the text, as the files' Windows origin demands.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "textio/byte_io.h"

namespace quillmar {

class InputStream {
 public:
  explicit InputStream(ByteSource& source) : source_(source) {}

  // Fills the front of buf with decoded text; 0 means the text has ended,
  // nullopt that reading failed (and every later call fails too).
  std::optional<size_t> Read(std::span<char> buf);

 private:
  ByteSource& source_;
  bool ended_ = false;
  bool failed_ = false;
};

// Decodes raw bytes in place and returns how many remain; sets *ended when a
// 0x1A cut them short.
size_t DecodeText(std::span<char> bytes, bool* ended);

}  // namespace quillmar
