#include "app/threads/workers.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>
#ifdef __linux__
#include <sched.h>
#endif

#include "tests/support/failing_new.h"

namespace quillmar {
namespace {

#ifdef __linux__
// The mappings of this process: start, end and permissions, from
// /proc/self/maps.
struct Mapping {
  uintptr_t start, end;
  std::string perms;
};

std::vector<Mapping> Mappings() {
  std::vector<Mapping> all;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    std::istringstream in(line);
    Mapping m{};
    char dash = 0;
    in >> std::hex >> m.start >> dash >> m.end >> m.perms;
    all.push_back(m);
  }
  return all;
}

// The process's mapped memory, in KiB: from its mappings, which an emulator
// shows as the program's own.
uint64_t MappedKib() {
  uint64_t bytes = 0;
  for (const Mapping& m : Mappings()) bytes += m.end - m.start;
  return bytes / 1024;
}

void* NoteStack(void* where) {
  int local = 0;
  static_cast<std::atomic<uintptr_t>*>(where)->store(reinterpret_cast<uintptr_t>(&local));
  return nullptr;
}

void* DoNothing(void* /*arg*/) { return nullptr; }

TEST(WorkersTest, AStackHasAnUnreadablePageBelowIt) {
  std::atomic<uintptr_t> local{0};
  Workers workers;
  ASSERT_EQ(workers.Start(1, &NoteStack, &local), 1u);
  while (local.load() == 0) {
  }
  // The stack stays mapped until the join.
  std::vector<Mapping> maps = Mappings();
  workers.Join();
  const uintptr_t at = local.load();
  auto stack = std::find_if(maps.begin(), maps.end(),
                            [at](const Mapping& m) { return m.start <= at && at < m.end; });
  ASSERT_NE(stack, maps.end());
  ASSERT_NE(stack, maps.begin());
  auto below = std::prev(stack);
  EXPECT_EQ(below->end, stack->start) << "nothing mapped right below the stack";
  EXPECT_EQ(below->perms.substr(0, 3), "---") << "the page below the stack can be used";
}

// Threads that have started, and whether they may end.
std::atomic<size_t> entered{0};
std::atomic<bool> may_end{false};

void* EnterAndWait(void* /*arg*/) {
  ++entered;
  while (!may_end.load()) std::this_thread::yield();
  return nullptr;
}

TEST(WorkersTest, EveryThreadThatRunsIsCountedAndJoined) {
  // An allocation that fails as the threads start, or a stack that cannot
  // be mapped under a limit on addresses: no thread then runs unrecorded,
  // and the count is of those that run.
  for (std::string_view fault : {"", "an allocation", "a limit on addresses"}) {
    entered = 0;
    may_end = false;
    Workers workers;
    size_t started = 0;
    rlimit as{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &as), 0);
    rlimit none = as;
    none.rlim_cur = MappedKib() * 1024;  // no room for a stack
    std::optional<FailingAllocations> failing;
    if (fault == "a limit on addresses") {
      ASSERT_EQ(setrlimit(RLIMIT_AS, &none), 0);
    }
    // An emulator may keep such a limit to itself.
    rlimit now{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &now), 0);
    if (fault == "an allocation") failing.emplace(0, 1, OnThreads::kThis);
    try {
      started = workers.Start(3, &EnterAndWait, nullptr);
    } catch (const std::bad_alloc&) {
    }
    failing.reset();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &as), 0);
    // Every thread that started runs within this time.
    for (int i = 0; i < 50 && entered.load() < started; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(entered.load(), started) << fault;
    if (now.rlim_cur != as.rlim_cur) {
      EXPECT_EQ(started, 0u) << "threads counted that have no stack";
    }
    may_end = true;
    workers.Join();
  }
}

TEST(WorkersTest, ThreadsGiveTheirStacksBack) {
  // Measured after a first round, which may map what the C library or a
  // sanitizer keeps for threads from then on: in a second round of 400
  // threads, even a page kept of each would take 1.6 MiB.
  uint64_t before = 0;
  for (int round = 0; round < 2; ++round) {
    before = MappedKib();
    for (int i = 0; i < 200; ++i) {
      Workers workers;
      ASSERT_EQ(workers.Start(2, &DoNothing, nullptr), 2u);
    }
  }
  EXPECT_LT(MappedKib(), before + 512);
}

TEST(WorkersTest, CountsOnlyTheCoresTheProcessMayRunOn) {
  // A process that taskset or a container keeps to one core converts on
  // one thread.
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  size_t first = 0;
  while (!CPU_ISSET(first, &all)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(UsableCores(), 1u);
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(UsableCores(), static_cast<unsigned>(CPU_COUNT(&all)));
}
#endif

TEST(WorkersTest, MemoryIsLimitedByALimitOnAddressesOrOnData) {
  rlimit as{}, data{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &as), 0);
  ASSERT_EQ(getrlimit(RLIMIT_DATA, &data), 0);
  if (as.rlim_cur != RLIM_INFINITY || data.rlim_cur != RLIM_INFINITY) {
    GTEST_SKIP() << "this test runs under a limit on memory already";
  }
  EXPECT_FALSE(MemoryLimited());
  EXPECT_FALSE(TuneMemoryForLimit()) << "the C library's memory tuned without a limit";
  // Limits far above what the tests use, each alone, then lifted again.
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit = resource == RLIMIT_AS ? as : data;
    rlimit lower = limit;
    lower.rlim_cur = rlim_t{64} << 30;
    ASSERT_EQ(setrlimit(resource, &lower), 0);
    rlimit now{};
    ASSERT_EQ(getrlimit(resource, &now), 0);
    bool limited = MemoryLimited();
    ASSERT_EQ(setrlimit(resource, &limit), 0);
    // An emulator may keep such limits to itself.
    if (now.rlim_cur == RLIM_INFINITY) GTEST_SKIP() << "a limit on memory cannot be set here";
    EXPECT_TRUE(limited) << (resource == RLIMIT_AS ? "addresses" : "data");
  }
  EXPECT_FALSE(MemoryLimited());
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
uint64_t ResidentKib() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

TEST(WorkersTest, FreedMemoryGoesBackUnderALimitOnly) {
  // Each row in a process of its own: the C library's memory, once tuned,
  // stays so. Without a limit nothing may change (the tuning costs time);
  // under one, 64 MiB freed in small blocks must go back to the system.
  struct Row {
    const char* what;
    bool limit;
  } rows[] = {{"no limit", false}, {"a limit on addresses", true}};
  for (const Row& row : rows) {
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      if (row.limit) {
        rlimit as{};
        getrlimit(RLIMIT_AS, &as);
        as.rlim_cur = rlim_t{64} << 30;
        setrlimit(RLIMIT_AS, &as);
        if (!MemoryLimited()) _exit(77);  // an emulator keeps the limit to itself
      }
      std::vector<void*> blocks(65536);
      for (void*& block : blocks) block = std::memset(std::malloc(1024), 1, 1024);
      // The last block made, at the heap's top, stays: the heap cannot
      // shrink by itself.
      void* above = blocks.back();
      blocks.pop_back();
      for (void* block : blocks) std::free(block);
      uint64_t before = ResidentKib();
      ReturnFreedMemory();
      bool returned = ResidentKib() + uint64_t{32} * 1024 < before;
      std::free(above);
      _exit(returned == row.limit ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
      GTEST_SKIP() << "a limit on memory cannot be set here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.what;
  }
}
#endif

}  // namespace
}  // namespace quillmar
