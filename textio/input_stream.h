// Reads a settings file as text. A 0x1A byte ends the text, as the files'
// Windows origin demands; the CR bytes, dropped wherever they stand, are left
// to the line splitter, which passes over them for free while it looks for
// the line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "textio/byte_io.h"

namespace quillmar {

class InputStream {
 public:
  explicit InputStream(ByteSource& source) : source_(source) {}

  // Fills the front of buf with text; 0 means the text has ended, nullopt
  // that reading failed (and every later call fails too).
  std::optional<size_t> Read(std::span<char> buf);

  // Whether a 0x1A byte ended the text, rather than the end of the data.
  bool Marked() const { return marked_; }
  // Whether the data ran out, with no 0x1A byte.
  bool Exhausted() const { return ended_ && !marked_; }

  // Whether the text starts with the UTF-8 byte order mark, which some
  // editors put before the first line.
  bool StartsWithBom() const { return bom_; }

  // The bytes the source has given since the start, the 0x1A byte and any
  // after it in the same read included.
  uint64_t Consumed() const { return consumed_; }

  // Reads on after the end: the source now serves another text.
  void Restart() {
    ended_ = failed_ = marked_ = bom_ = false;
    consumed_ = 0;
  }

 private:
  ByteSource& source_;
  bool ended_ = false;
  bool marked_ = false;
  bool failed_ = false;
  bool bom_ = false;
  uint64_t consumed_ = 0;
};

}  // namespace quillmar
