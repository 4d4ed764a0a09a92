// Allocations that fail as they do when memory runs out, where a test says:
// the program's own handling of std::bad_alloc, on any thread, without
// having to exhaust the machine's memory.
#pragma once

#include <climits>
#include <cstddef>

namespace quillmar {

// The threads whose allocations fail: all, all but the one that makes the
// FailingAllocations, or that one alone.
enum class OnThreads { kAll, kOthers, kThis };

// While one lives, allocations of more than `above` bytes fail, the first
// `times` of them, on the threads chosen.
class FailingAllocations {
 public:
  explicit FailingAllocations(size_t above = 0, int times = INT_MAX,
                              OnThreads threads = OnThreads::kAll);
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  // How many allocations failed so far.
  int failed() const;
};

}  // namespace quillmar
