// What the fuzz targets share: a whole conversion in memory, and a check
// that stops the fuzzer when a property is broken.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/control/choose_path.h"
#include "app/control/run.h"
#include "app/threads/stretches.h"
#include "tests/support/memory_io.h"

namespace quillmar::fuzz {

struct Result {
  int status;
  std::string console, output;
  bool operator==(const Result&) const = default;
};

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

// With a `stretch`, converts as a file on disk, in stretches of that size on
// two threads, whatever the cores, where the input spans two stretches.
inline Result ConvertBytes(std::string_view input, size_t chunk, size_t block,
                           SplitMode mode = SplitMode::kFast, size_t stretch = 0) {
  MemorySource in(input, chunk, std::nullopt, stretch > 0);
  MemorySink out;
  MemoryConsole console;
  std::optional<Outcome> two;
  if (stretch > 0 && input.size() >= 2 * stretch) {
    two = ConvertInStretches(in, out, console, block, stretch);
    Require(two.has_value(), "a file of two stretches or more is converted on two threads");
  }
  Outcome outcome = two ? *two : Convert(in, out, console, block, mode, 0);
  int status = Report(outcome, "in", "out", console);
  return {status, console.text(), out.bytes()};
}

}  // namespace quillmar::fuzz
