#include "app/threads/piece.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>

#include "tests/support/failing_new.h"
#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

TEST(PieceTest, RunningOutOfMemoryWhileHoldingABlockLeavesItWhole) {
  constexpr size_t kSize = 64;
  BlockPool pool(kSize, 4);
  pool.Give(Buffer(kSize));  // so that the next block costs no allocation
  HoldBound bound(SIZE_MAX, SIZE_MAX);
  PieceSink sink(pool, bound);
  std::vector<Held> held;  // no room yet: holding a block grows it
  sink.Reset(held);
  Buffer block(kSize);
  block[0] = 'x';
  {
    FailingAllocations fail;
    EXPECT_THROW(sink.WriteBlock(block, kSize), std::bad_alloc);
  }
  ASSERT_NE(block.data(), nullptr);
  EXPECT_EQ(block.size(), kSize);
  EXPECT_EQ(block[0], 'x');
  // A buffer moved from holds nothing, and the pool never hands one out.
  Buffer moved(kSize);
  Buffer taker(std::move(moved));
  EXPECT_EQ(moved.size(), 0u);  // NOLINT(bugprone-use-after-move): what a move leaves
  pool.Clear();
  pool.Give(std::move(moved));  // NOLINT(bugprone-use-after-move)
  Buffer next = pool.Take();
  EXPECT_NE(next.data(), nullptr);
  EXPECT_EQ(next.size(), kSize);
}

TEST(PieceTest, APieceThatPassesABoundIsRefusedWhole) {
  struct Row {
    const char* what;
    size_t copy, messages;  // held before the last write; a message counts its place too
    bool refused;
  } rows[] = {
      {"within both", 10, 4, false},
      {"one byte of copy too many", 11, 4, true},
      {"one byte of messages too many", 10, 5, true},
  };
  for (const Row& row : rows) {
    BlockPool pool(8, 4);
    HoldBound bound(10, 4 + sizeof(uint64_t));
    PieceSink sink(pool, bound);
    std::vector<Held> held;
    sink.Reset(held);
    MessageList list;
    PieceMessages messages(list, bound);
    sink.Write(std::string(row.copy - 1, 'c'));
    messages.Tell(0, std::string(row.messages, 'm'));
    bool last = sink.Write("c");
    EXPECT_EQ(bound.Refused(), row.refused) << row.what;
    EXPECT_EQ(last, !row.refused) << row.what;
    EXPECT_EQ(list.Empty(), row.messages > 4) << row.what;
  }
}

TEST(PieceTest, ThePoolKeepsOnlyBlocksOfItsSize) {
  struct Row {
    const char* what;
    size_t size;
    bool kept;
  } rows[] = {
      {"a block of the pool's size", 8, true},
      {"a larger block", 16, false},
      {"a smaller block", 4, false},
  };
  for (const Row& row : rows) {
    BlockPool pool(8, 4);
    Buffer block(row.size);
    const char* data = block.data();
    pool.Give(std::move(block));
    Buffer next = pool.Take();
    EXPECT_EQ(next.size(), 8u) << row.what;
    EXPECT_EQ(next.data() == data, row.kept) << row.what;
  }
}

TEST(PieceTest, APieceThatWouldHoldTooMuchIsGivenBack) {
  // Messages are few, a head type line now and then, and a piece of
  // nothing else would hold twice its size in them; a piece that no cut
  // ended for many stretches would hold a copy of them all.
  const size_t stretch = 4096;
  std::string heads, few;
  while (heads.size() < stretch) heads += "1000-4=HP600\r\n";
  few = "1000-4=HP600\r\n";
  while (few.size() < stretch) few += "4162-1=10\r\n";
  std::string uncut;
  while (uncut.size() < 6 * stretch) uncut += "7000-1=some value\r\n";
  struct Row {
    const char* what;
    const std::string& text;
    bool given_back;
  } rows[] = {
      {"head type lines only", heads, true},
      {"one head type line", few, false},
      {"six stretches with no cut", uncut, true},
  };
  for (const Row& row : rows) {
    MemorySource source(row.text, SIZE_MAX, std::nullopt, true);
    std::atomic<bool> given_up{false};
    BlockPool pool(1024, 4);
    PieceWork work(source, given_up, pool, 256, SIZE_MAX, stretch);
    Piece piece;
    piece.end = row.text.size();
    Prepare(piece);
    work.Convert(piece);
    EXPECT_EQ(piece.given_back, row.given_back) << row.what;
  }
}

}  // namespace
}  // namespace quillmar
