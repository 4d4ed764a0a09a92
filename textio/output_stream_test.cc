#include "textio/output_stream.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

TEST(OutputStreamTest, WritesCrLfBreaks) {
  struct Case {
    std::string content;
    size_t breaks;
    std::string bytes;
  } cases[] = {
      {"A", 1, "A\r\n"},
      {"A", 2, "A\r\n\r\n"},
      {"", 3, "\r\n\r\n\r\n"},
      {"A", 0, "A"},
      {"", 100,
       [] {
         std::string s;
         for (int i = 0; i < 100; ++i) s += "\r\n";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    for (size_t block : {size_t{1}, size_t{3}, size_t{1024}}) {
      MemorySink sink;
      OutputStream out(sink, block);
      ASSERT_TRUE(out.WriteLine(c.content, c.breaks));
      ASSERT_TRUE(out.Flush());
      EXPECT_EQ(sink.bytes(), c.bytes) << "block " << block;
    }
  }
}

TEST(OutputStreamTest, BytesReachTheSinkOnlyWhenFlushedOrFull) {
  MemorySink sink;
  OutputStream out(sink, 8);
  ASSERT_TRUE(out.WriteLine("ABC", 1));
  EXPECT_EQ(sink.bytes(), "");
  ASSERT_TRUE(out.WriteLine("DEFG", 1));
  EXPECT_EQ(sink.bytes(), "ABC\r\n");
  ASSERT_TRUE(out.Flush());
  EXPECT_EQ(sink.bytes(), "ABC\r\nDEFG\r\n");
}

// Every write of the buffer must fit it: a line written where there is
// room for all of it but a byte would run past the buffer's end, which only
// shows in a block larger than the buffer.
TEST(OutputStreamTest, ALineFitsExactlyOrGoesToTheNextBlock) {
  struct LargestWrite : MemorySink {
    size_t largest = 0;
    bool Write(std::string_view bytes) override {
      largest = std::max(largest, bytes.size());
      return MemorySink::Write(bytes);
    }
  };
  constexpr size_t kBlock = 32;
  struct Case {
    const char* what;
    size_t need;  // the room the line takes
    void (*write)(OutputStream&);
    std::string bytes;
  } cases[] = {
      {"a line", 5, [](OutputStream& o) { o.WriteLine("ABC", 1); }, "ABC\r\n"},
      // Room for the longest number and what its writing may touch.
      {"a rewritten line", 5 + 2 + 16 + 2,
       [](OutputStream& o) { o.WriteNumberedLine("4172-", "1=", 188); }, "4172-1=188\r\n"},
  };
  for (const Case& c : cases) {
    for (size_t room : {c.need - 1, c.need, c.need + 1}) {
      LargestWrite sink;
      OutputStream out(sink, kBlock);
      std::string before(kBlock - room, 'x');
      ASSERT_TRUE(out.WriteLine(before, 0));
      c.write(out);
      ASSERT_TRUE(out.Flush());
      EXPECT_EQ(sink.bytes(), before + c.bytes) << c.what << ", room " << room;
      EXPECT_LE(sink.largest, kBlock) << c.what << ", room " << room;
    }
  }
}

TEST(OutputStreamTest, AFailedWriteStaysFailed) {
  MemorySink sink(3);
  OutputStream out(sink, 4);
  EXPECT_TRUE(out.WriteLine("AB", 1));  // still in the buffer
  EXPECT_FALSE(out.WriteLine("CD", 1));
  EXPECT_FALSE(out.WriteLine("E", 1));
  EXPECT_FALSE(out.Flush());
  EXPECT_EQ(sink.bytes(), "AB\r");

  // A sink that would take bytes again after a failure is not tried again:
  // the copy would have a hole in it.
  struct FailsOnce : ByteSink {
    int writes = 0;
    bool Write(std::string_view /*bytes*/) override { return ++writes > 1; }
    uint64_t Stored() override { return 0; }
  } once;
  OutputStream after(once, 4);
  EXPECT_FALSE(after.WriteLine("ABCDEF", 1));
  EXPECT_FALSE(after.WriteLine("G", 1));
  EXPECT_FALSE(after.Flush());
  EXPECT_EQ(once.writes, 1);
}

}  // namespace
}  // namespace quillmar
