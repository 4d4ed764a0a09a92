// What the fuzz targets share: a whole conversion in memory, and a check
// that stops the fuzzer when a property is broken.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/convert.h"
#include "app/run.h"
#include "tests/support/memory_io.h"

namespace quillmar::fuzz {

struct Result {
  int status;
  std::string console, output;
  bool operator==(const Result&) const = default;
};

// With a `stretch`, converts as a file on disk, in stretches of that size.
inline Result ConvertBytes(std::string_view input, size_t chunk, size_t block,
                           SplitMode mode = SplitMode::kFast, size_t stretch = 0) {
  MemorySource in(input, chunk, std::nullopt, stretch > 0);
  MemorySink out;
  MemoryConsole console;
  Outcome outcome = Convert(in, out, console, block, mode, stretch);
  int status = Report(outcome, "in", "out", console);
  return {status, console.text(), out.bytes()};
}

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace quillmar::fuzz
