// Running out of memory, with exceptions or without. The program throws
// std::bad_alloc, and run control reports the line that needed the memory.
// A build without exceptions (the browser page's) cannot unwind: there a
// failed allocation ends the conversion at once, and the page says so.
#pragma once

#include <cstdlib>
#include <new>

namespace quillmar {

// Ends the work in hand: memory ran out, or a bound set on it was passed.
[[noreturn]] inline void RunOutOfMemory() {
#if __cpp_exceptions
  throw std::bad_alloc();
#else
  std::abort();
#endif
}

// work(), or on_no_memory() if work ran out of memory.
template <typename Work, typename OnNoMemory>
auto CatchingNoMemory(Work work, [[maybe_unused]] OnNoMemory on_no_memory) {
#if __cpp_exceptions
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return on_no_memory();
  }
#else
  return work();
#endif
}

}  // namespace quillmar
