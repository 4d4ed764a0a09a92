// Cuts the decoded text into lines and rejects text that is not a settings
// file. A line is a run of content bytes and the run of LFs that ends it, so
// blank lines belong to the line before them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "textio/input_stream.h"

namespace quillmar {

struct Line {
  std::string_view content;  // never holds an LF
  size_t breaks = 0;         // LFs after the content, one per blank line more
  uint64_t number = 0;       // 1 + the LFs of the file before the line
};

class LineSplitter {
 public:
  enum class Result { kLine, kWrongFormat, kReadFailed };

  explicit LineSplitter(InputStream& input, size_t block = kBlockSize);

  // True once the text has no byte left; a failed read reports through Next.
  bool AtEnd();

  // Delivers the next line; its content stays valid until the next call.
  Result Next(Line* line);

 private:
  enum class Fill { kMore, kEnd, kFailed };
  Fill FillBuffer();

  InputStream& input_;
  size_t block_;
  std::vector<char> buf_;
  size_t begin_ = 0;  // first byte not yet delivered
  size_t end_ = 0;    // end of the decoded bytes in buf_
  bool ended_ = false;
  bool failed_ = false;
  uint64_t line_number_ = 1;
};

// A byte that may not follow another byte in a line's content: NUL to 0x08
// and 0xFF. The first content byte of a line is exempt.
inline bool IsRejected(unsigned char c) { return static_cast<unsigned char>(c + 1) < 10; }

}  // namespace quillmar
