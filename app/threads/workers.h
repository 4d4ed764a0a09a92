// The threads that convert pieces beside the writing one, and what they
// need of the system: the cores there are, stacks of their own, and the C
// library's memory tuned where memory is limited.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <vector>

namespace quillmar {

// Threads on stacks that the program maps, each with an unreadable page
// below it, so that an overflow faults rather than overwrite what lies
// there, and unmaps once the thread has ended: the C library would keep a
// stack it made for the next thread.
class Workers {
 public:
  Workers() = default;
  ~Workers() { Join(); }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Starts up to `count` threads, each running entry(arg); returns how
  // many started.
  size_t Start(size_t count, void* (*entry)(void*), void* arg);
  // Waits for every thread started to end, and unmaps their stacks.
  void Join();

 private:
  struct Thread {
    pthread_t id;
    void* mapping;  // the guard page, then the stack
  };
  std::vector<Thread> threads_;
};

// The cores this process may run on, which taskset or a container may make
// fewer than the machine's.
unsigned UsableCores();

// Whether the process may not take all the memory it asks for: a limit on
// its addresses or on its data.
bool MemoryLimited();

// Under a limit on memory, the threads must leave as much of it as one
// thread would have: one malloc arena for all (otherwise 64 MiB of
// addresses each), and every large buffer mapped and unmapped, never kept
// in a heap that holds what is freed. Without a limit nothing changes:
// mapping every large buffer costs some 4 % on a large file. Returns
// whether it tuned.
bool TuneMemoryForLimit();

// Gives what was freed back to the system, under a limit, so that one
// thread left alone has all the memory there is.
void ReturnFreedMemory();

}  // namespace quillmar
