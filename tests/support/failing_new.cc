// The program's operator new, replaced for the unit tests: the C library's
// malloc, failing where a FailingAllocations says.
#include "tests/support/failing_new.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace quillmar {
namespace {

std::atomic<size_t> fail_above{SIZE_MAX};
std::atomic<int> fail_times{0};
std::atomic<int> failed_count{0};
std::atomic<bool> one_thread{false};
thread_local bool spared = false;
thread_local bool chosen = false;

}  // namespace

FailingAllocations::FailingAllocations(size_t above, int times, OnThreads threads) {
  spared = threads == OnThreads::kOthers;
  chosen = threads == OnThreads::kThis;
  one_thread = threads == OnThreads::kThis;
  failed_count = 0;
  fail_times = times;
  fail_above = above;
}

FailingAllocations::~FailingAllocations() {
  fail_above = SIZE_MAX;
  spared = false;
  chosen = false;
  one_thread = false;
}

int FailingAllocations::failed() const { return failed_count; }

}  // namespace quillmar

namespace {

void* Allocate(size_t size) {
  using namespace quillmar;
  if (size > fail_above.load(std::memory_order_relaxed) && !spared &&
      (chosen || !one_thread.load(std::memory_order_relaxed))) {
    int left = fail_times.load();
    while (left > 0 && !fail_times.compare_exchange_weak(left, left - 1)) {
    }
    if (left > 0) {
      ++failed_count;
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* AllocateOrNull(size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

// Every form, so that none is left to another allocator (a sanitizer's)
// that would not fail, or would free what this one allocated.
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t& /*tag*/) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](size_t size, const std::nothrow_t& /*tag*/) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t /*size*/) noexcept { std::free(p); }
void operator delete[](void* p, size_t /*size*/) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t& /*tag*/) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t& /*tag*/) noexcept { std::free(p); }
