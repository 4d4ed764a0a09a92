#include "app/threads/stretches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "tests/support/failing_new.h"
#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

struct Result {
  Outcome outcome;
  std::string output, console;
  int failed_allocations = 0;
};

// Allocations of more than `above` bytes fail, the first `times` of them,
// on the threads chosen: the writing thread is this one.
struct Failing {
  size_t above = SIZE_MAX;
  int times = 0;
  OnThreads threads = OnThreads::kAll;
};

// Converts `text` as a file on disk, on one thread, or on two whatever the
// cores (a `stretch` given): a test of two threads fails if the two-thread
// path did not take the file. Only the conversion's own allocations fail.
// The file may have had another size when it was opened.
Result ConvertFile(const std::string& text, size_t block, size_t stretch = 0,
                   size_t capacity = SIZE_MAX, Failing failing = {},
                   std::optional<uint64_t> size_at_opening = std::nullopt) {
  MemorySource in(text, SIZE_MAX, std::nullopt, true);
  if (size_at_opening) in.SizeAtOpening(*size_at_opening);
  MemorySink out(capacity);
  out.Reserve(2 * text.size());
  MemoryConsole console;
  std::optional<Outcome> outcome;
  int failed = 0;
  {
    FailingAllocations fail(failing.above, failing.times, failing.threads);
    outcome = stretch == 0 ? ConvertOnOneThread(in, out, console, block, SplitMode::kFast)
                           : ConvertInStretches(in, out, console, block, stretch);
    failed = fail.failed();
  }
  EXPECT_TRUE(outcome.has_value()) << "not converted on two threads";
  return {outcome.value_or(Outcome{Outcome::kReadFailed}), out.bytes(), console.text(), failed};
}

void ExpectSame(const Result& two, const Result& one, const char* what) {
  EXPECT_EQ(two.outcome.kind, one.outcome.kind) << what;
  EXPECT_EQ(two.outcome.line, one.outcome.line) << what;
  EXPECT_EQ(two.outcome.fault, one.outcome.fault) << what;
  if (one.outcome.kind == Outcome::kComplete) {
    EXPECT_TRUE(two.outcome.tally == one.outcome.tally) << what;
  }
  EXPECT_TRUE(two.output == one.output) << what;  // not EXPECT_EQ: it would print them whole
  // Not EXPECT_EQ either: thousands of lines alike.
  EXPECT_TRUE(two.console == one.console)
      << what << ": " << std::count(two.console.begin(), two.console.end(), '\n')
      << " lines against " << std::count(one.console.begin(), one.console.end(), '\n');
}

// Short lines of every kind, `bytes` of them, for a head of `head`.
std::string Lines(size_t bytes, std::string_view head = "HP600") {
  std::string text = "1000-4=" + std::string(head) + "\r\n";
  for (int i = 0; text.size() < bytes; ++i) {
    text += "4162-" + std::to_string(i % 90) + "=" + std::to_string(i % 1000) + "\r\n";
    text += "7000-" + std::to_string(i) + "=some value\r\n";
  }
  return text;
}

constexpr size_t kBlock = 1024;
constexpr size_t kStretch = size_t{64} * 1024;

TEST(StretchesTest, RunningOutOfMemoryAnywhereEndsAsOneThreadWould) {
  // A line far too long for a converting thread to hold, half a stretch into the
  // third piece: its thread gives the piece back, and the writing thread
  // must hold the whole line, a line the rules read. A head type line comes
  // before it in that piece, and a line it rescales after it: the rest of
  // the file goes on in the family in force at the long line.
  const std::string text = Lines(2 * kStretch + kStretch / 2) + "1000-4=XAAR128\r\n" +
                           "9040-1=" + std::string(4 * kStretch, 'v') + "\r\n" + "4162-1=100\r\n" +
                           Lines(3 * kStretch);
  const Result whole = ConvertFile(text, kBlock);
  ASSERT_EQ(whole.outcome.kind, Outcome::kComplete);
  struct Row {
    const char* what;
    Failing failing;
    std::optional<uint64_t> size_at_opening;
  } rows[] = {
      {"a converting thread cannot make its buffers", {0, 1, OnThreads::kOthers}, {}},
      {"the writing thread runs out once, at the long line",
       {2 * kStretch, 1, OnThreads::kThis},
       {}},
      {"memory runs out for the long line for good", {2 * kStretch, INT_MAX, OnThreads::kAll}, {}},
      {"the writing thread runs out once, in a file that grew since it was opened",
       {2 * kStretch, 1, OnThreads::kThis},
       text.size() - 100},
  };
  for (const Row& row : rows) {
    Result two = ConvertFile(text, kBlock, kStretch, SIZE_MAX, row.failing, row.size_at_opening);
    EXPECT_GT(two.failed_allocations, 0) << row.what;
    // Memory that runs out only once costs the copy nothing; for good, the
    // run fails where one thread fails, at the same line, counted from the
    // file's start, with the same lines before it. A file that changed is
    // a failed read, as on one thread.
    Result one = whole;
    if (row.failing.times == INT_MAX || row.size_at_opening) {
      one = ConvertFile(text, kBlock, 0, SIZE_MAX, row.size_at_opening ? Failing{} : row.failing,
                        row.size_at_opening);
      EXPECT_EQ(one.outcome.kind, row.size_at_opening ? Outcome::kReadFailed : Outcome::kNoMemory);
    }
    ExpectSame(two, one, row.what);
  }
}

TEST(StretchesTest, EndsWhereOneThreadEnds) {
  // Lines that end well inside the third piece, for the family that the
  // converting threads guess first: no piece is converted again.
  const std::string lines = Lines(3 * kStretch - kStretch / 4, "XAAR500");
  // A disk that fills half a stretch before the end of these lines: in the last
  // piece, at a write that comes before a fault at its end.
  const size_t full = ConvertFile(lines, kBlock).output.size() - kStretch / 2;
  // Pieces given back for their messages, then pieces a thread converts
  // with fresh buffers: the failed writes of the refused ones are not theirs.
  std::string dense;
  while (dense.size() < 4 * kStretch) dense += "1000-4=X\r\n";
  // The second piece is planned before the first names HP600, on the
  // default guess, and rescales a line before it names HP600 again.
  std::string filler;
  while (filler.size() < kStretch / 2) filler += "7000-1=some value\r\n";
  const std::string stale = "1000-4=HP600\r\n" + filler + filler + filler +
                            "4162-1=100\r\n1000-4=HP600\r\n" + filler + filler + filler + filler;
  // A head type line every few lines, many to a block: a disk that fills
  // mid-piece leaves messages of lines both in the copy and not.
  std::string heads;
  for (int i = 0; heads.size() < 4 * kStretch; ++i) {
    heads += i % 24 == 0 ? "1000-4=XAAR500\r\n" : "4162-1=" + std::to_string(i) + "\r\n";
  }
  struct Row {
    const char* what;
    std::string text;
    size_t capacity;  // of the disk
  } rows[] = {
      {"a value out of range in a later piece", lines + "4162-1=99999999999\r\n" + lines, SIZE_MAX},
      {"a control byte in a later piece", lines + "A\x02\r\n" + lines, SIZE_MAX},
      {"a full disk before a value out of range", lines + "4162-1=99999999999\r\n", full},
      {"a full disk in a later piece", lines + lines, 2 * kStretch + 100},
      {"pieces of many messages, then ordinary ones", dense + Lines(12 * kStretch), SIZE_MAX},
      {"a piece on a stale guess that names the family in force late", stale, SIZE_MAX},
  };
  for (const Row& row : rows) {
    ExpectSame(ConvertFile(row.text, kBlock, kStretch, row.capacity),
               ConvertFile(row.text, kBlock, 0, row.capacity), row.what);
  }
  for (size_t capacity = kStretch / 3; capacity < heads.size(); capacity += kStretch / 5 + 333) {
    const Result one = ConvertFile(heads, kBlock, 0, capacity);
    ASSERT_EQ(one.outcome.kind, Outcome::kWriteFailed);
    ExpectSame(ConvertFile(heads, kBlock, kStretch, capacity), one,
               ("a disk full at " + std::to_string(capacity) + ", head type lines often").c_str());
  }
}

TEST(StretchesTest, APieceHoldsAFewStretchesAtMostOfCopyAndMessages) {
  // Every line prints a message five times its size: held whole, a piece's
  // messages would grow well past its copy.
  std::string text;
  while (text.size() < 20 * kStretch) text += "1000-4=X\r\n";
  const Result two =
      ConvertFile(text, kBlock, kStretch, SIZE_MAX, {8 * kStretch, INT_MAX, OnThreads::kOthers});
  ExpectSame(two, ConvertFile(text, kBlock), "unknown head types");
  EXPECT_EQ(two.failed_allocations, 0) << "a converting thread held more than a few stretches";
}

}  // namespace
}  // namespace quillmar
