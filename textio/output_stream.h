// Writes the converted file: lines go out with CR LF breaks, in large blocks.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "textio/byte_io.h"

namespace quillmar {

class OutputStream {
 public:
  explicit OutputStream(ByteSink& sink, size_t block = kBlockSize);

  // Writes content (which holds no LF) and `breaks` line breaks as CR LF.
  // False once any write has failed.
  bool WriteLine(std::string_view content, size_t breaks);

  // Hands every buffered byte to the sink; false if any write failed.
  bool Flush();

 private:
  bool Put(std::string_view bytes);

  ByteSink& sink_;
  std::vector<char> buf_;
  size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace quillmar
