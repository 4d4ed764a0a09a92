// Which way a file is converted: in stretches on two threads where that
// pays and the platform has them, else on one thread. Both give the same
// bytes and messages.
#pragma once

#include "app/engine/console.h"
#include "app/engine/convert.h"
#include "textio/byte_io.h"
#include "textio/line_splitter.h"

namespace quillmar {

// A file this large, that can be read at any place, is converted in
// stretches of about this size, two at a time.
inline constexpr size_t kStretchSize = size_t{1} << 20;

// Converts the text of `in` into `out`, as ConvertOnOneThread does. A file
// of two stretches or more goes in stretches where two cores are there for
// it; the reference way of finding lines, or a `stretch` of 0, keeps to
// one thread. Tests make `block` and `stretch` small to reach the edges of
// buffers and stretches.
Outcome Convert(ByteSource& in, ByteSink& out, Console& console, size_t block = kBlockSize,
                SplitMode mode = SplitMode::kFast, size_t stretch = kStretchSize);

}  // namespace quillmar
