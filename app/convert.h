// The conversion loop: every line through the rules, in their order, and out.
#pragma once

#include <cstdint>

#include "app/console.h"
#include "textio/byte_io.h"
#include "textio/line_splitter.h"

namespace quillmar {

struct Outcome {
  enum Kind { kComplete, kWrongFormat, kReadFailed, kWriteFailed, kOutOfRange, kNoMemory };
  Kind kind = kComplete;
  uint64_t line = 0;  // for kOutOfRange and kNoMemory: the line at fault
};

// Converts the text of `in` into `out`, reporting the head types found on
// `console`. The last bytes reach `out` before it returns; closing is the
// caller's. Running out of memory (a line too long to hold) ends the
// conversion with kNoMemory rather than an exception. `block` sets the size of reads and writes;
// tests make it small to reach the buffers' edges.
// `mode` chooses how lines are found; both ways give the same result.
Outcome Convert(ByteSource& in, ByteSink& out, Console& console, size_t block = kBlockSize,
                SplitMode mode = SplitMode::kFast);

}  // namespace quillmar
