// Converts a large file on two threads: each converts a stretch of it at a
// time, reading the stretch itself, so that its bytes stay in the cache of
// the core that works on them, while the stretches go out in order.
#pragma once

#include <optional>

#include "app/convert.h"

namespace quillmar {

// Convert's work on a file that can be read at any place. Nothing, with
// nothing read or written, when the input is too small for it to pay, not
// such a file, or no thread can be started: the caller converts it in one
// thread then.
std::optional<Outcome> ConvertInStretches(ByteSource& in, ByteSink& out, Console& console,
                                          size_t block, size_t stretch);

// The cores this process may run on.
unsigned UsableCores();

}  // namespace quillmar
