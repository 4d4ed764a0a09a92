// Running out of memory, with exceptions or without. The program throws
// std::bad_alloc, and run control reports the line that needed the memory.
// A build without exceptions (the browser page's) cannot unwind: there it
// ends at once, as a failed allocation does, and the page says so.
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

}  // namespace quillmar
