#include "app/piece_io.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/support/failing_new.h"

namespace quillmar {
namespace {

TEST(PieceIoTest, RunningOutOfMemoryWhileHoldingABlockLeavesItWhole) {
  constexpr size_t kSize = 64;
  BlockPool pool(kSize, 4);
  pool.Give(Buffer(kSize));  // so that the next block costs no allocation
  HoldBound bound(SIZE_MAX);
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
  EXPECT_EQ(moved.size(), 0u);
  pool.Clear();
  pool.Give(std::move(moved));
  Buffer next = pool.Take();
  EXPECT_NE(next.data(), nullptr);
  EXPECT_EQ(next.size(), kSize);
}

TEST(PieceIoTest, APieceHoldsItsCopyAndMessagesWithinOneBound) {
  BlockPool pool(8, 4);
  HoldBound bound(10);
  PieceSink sink(pool, bound);
  std::vector<Held> held;
  sink.Reset(held);
  std::string messages;
  TextConsole console(messages, bound);
  EXPECT_TRUE(sink.Write("12345"));
  console << "1234";
  EXPECT_FALSE(bound.Refused());
  console << "12";  // one byte too many
  EXPECT_TRUE(bound.Refused());
  EXPECT_EQ(messages, "1234");
  EXPECT_FALSE(sink.Write("1"));
}

}  // namespace
}  // namespace quillmar
