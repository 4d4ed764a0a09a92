// Converting threads on mapped stacks, the cores, and the C library's memory.
#include "app/threads/workers.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <new>
#include <thread>

namespace quillmar {
namespace {

// A converting thread's stack: it holds little, and under a limit on memory
// the default of several MiB each would be taken from the lines.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define QUILLMAR_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__) || defined(QUILLMAR_SANITIZED)
// A sanitizer keeps much of a thread's own state on its stack.
constexpr size_t kStack = size_t{4} << 20;
#else
constexpr size_t kStack = size_t{512} * 1024;
#endif

size_t PageSize() {
  long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<size_t>(page) : 4096;
}

}  // namespace

size_t Workers::Start(size_t count, void* (*entry)(void*), void* arg) {
  // Room to record every thread first: a thread that runs with no record
  // would never be joined, and would outlive what it works on.
  try {
    threads_.reserve(threads_.size() + count);
  } catch (const std::bad_alloc&) {
    return threads_.size();
  }
  const size_t guard = PageSize();
  for (size_t i = 0; i < count; ++i) {
    void* mapping =
        mmap(nullptr, guard + kStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) break;
    char* stack = static_cast<char*>(mapping) + guard;
    pthread_attr_t attr;
    pthread_t id;
    bool started = false;
    if (mprotect(mapping, guard, PROT_NONE) == 0 && pthread_attr_init(&attr) == 0) {
      started = pthread_attr_setstack(&attr, stack, kStack) == 0 &&
                pthread_create(&id, &attr, entry, arg) == 0;
      pthread_attr_destroy(&attr);
    }
    if (!started) {
      munmap(mapping, guard + kStack);
      break;
    }
    threads_.push_back({id, mapping});
  }
  return threads_.size();
}

void Workers::Join() {
  for (Thread& t : threads_) {
    pthread_join(t.id, nullptr);
    munmap(t.mapping, PageSize() + kStack);
  }
  threads_.clear();
}

unsigned UsableCores() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
  return std::thread::hardware_concurrency();
}

bool MemoryLimited() {
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
  }
  return false;
}

bool TuneMemoryForLimit() {
#ifdef __GLIBC__
  return MemoryLimited() && mallopt(M_ARENA_MAX, 1) != 0 &&
         mallopt(M_MMAP_THRESHOLD, 128 * 1024) != 0;
#else
  return false;
#endif
}

void ReturnFreedMemory() {
#ifdef __GLIBC__
  if (TuneMemoryForLimit()) malloc_trim(0);
#endif
}

}  // namespace quillmar
