// Converts a large file on two threads: each converts a stretch of it at a
// time, reading the stretch itself, so that its bytes stay in the cache of
// the core that works on them, while the stretches go out in order.
//
// A stretch is the length of file that a thread takes at a time (a MiB in
// the program); a piece is the part of the file that a thread actually
// takes, from one cut at a line start to the next, about a stretch apart.
#pragma once

#include <optional>

#include "app/engine/console.h"
#include "app/engine/convert.h"
#include "textio/byte_io.h"

namespace quillmar {

// Converts a file that can be read at any place, as ConvertOnOneThread
// would, to the byte and the message, on two threads whatever the cores.
// Nothing, with nothing read or written, when the input is not such a file,
// is smaller than two stretches, or no thread could be started: the caller
// converts it on one thread then.
std::optional<Outcome> ConvertInStretches(ByteSource& in, ByteSink& out, Console& console,
                                          size_t block, size_t stretch);

}  // namespace quillmar
