// The choice between one thread and two.
#include "app/control/choose_path.h"

#include <optional>

#if !defined(_WIN32) && !defined(__wasi__)
#include "app/threads/stretches.h"
#include "app/threads/workers.h"
#endif

namespace quillmar {

// Windows and the browser convert on one thread: the two-thread path is
// made of POSIX calls (threads on stacks of its own, mapped memory, reads
// at a place).
Outcome Convert(ByteSource& in, ByteSink& out, Console& console, size_t block, SplitMode mode,
                [[maybe_unused]] size_t stretch) {
#if !defined(_WIN32) && !defined(__wasi__)
  // Asked once: it takes the system a call or more to tell.
  static const bool two_cores = UsableCores() >= 2;
  if (mode == SplitMode::kFast && stretch > 0 && two_cores) {
    std::optional<Outcome> outcome = ConvertInStretches(in, out, console, block, stretch);
    if (outcome) return *outcome;
  }
#endif
  return ConvertOnOneThread(in, out, console, block, mode);
}

}  // namespace quillmar
