#include "textio/output_stream.h"

#include <gtest/gtest.h>

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
  } once;
  OutputStream after(once, 4);
  EXPECT_FALSE(after.WriteLine("ABCDEF", 1));
  EXPECT_FALSE(after.WriteLine("G", 1));
  EXPECT_FALSE(after.Flush());
  EXPECT_EQ(once.writes, 1);
}

}  // namespace
}  // namespace quillmar
