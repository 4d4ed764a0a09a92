#include "app/threads/held.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "tests/support/failing_new.h"

namespace quillmar {
namespace {

TEST(HeldTest, RunningOutOfMemoryWhileHoldingABlockLeavesItWhole) {
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

TEST(HeldTest, APieceThatPassesABoundIsRefusedWhole) {
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
    HoldBound bound(10, 4 + MessageList::kPlaceSize);
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

TEST(HeldTest, ThePoolKeepsOnlyBlocksOfItsSize) {
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

}  // namespace
}  // namespace quillmar
