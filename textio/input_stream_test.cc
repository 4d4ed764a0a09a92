#include "textio/input_stream.h"

#include <gtest/gtest.h>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

// Reads everything the stream delivers, in buffers of `size` bytes.
std::string ReadAll(ByteSource& source, size_t size) {
  InputStream in(source);
  std::string text, buf(size, '\0');
  while (std::optional<size_t> n = in.Read(buf)) {
    if (*n == 0) break;
    text.append(buf, 0, *n);
  }
  return text;
}

TEST(InputStreamTest, EndsAtTheEndOfFileByte) {
  struct Case {
    std::string raw, text;
  } cases[] = {
      {"A\r\nB\r\n", "A\r\nB\r\n"},
      {"A\n\x1A"
       "B\n",
       "A\n"},
      {"\x1A", ""},
      {"A\r\x1A\r\n", "A\r"},
      {std::string("\0\xFF\x01\n", 4), std::string("\0\xFF\x01\n", 4)},
      {"", ""},
  };
  for (const Case& c : cases) {
    // Every buffer and block size, so that 0x1A meets every boundary.
    for (size_t chunk = 1; chunk <= c.raw.size() + 1; ++chunk) {
      for (size_t buf : {size_t{1}, size_t{3}, size_t{64}}) {
        MemorySource source(c.raw, chunk);
        EXPECT_EQ(ReadAll(source, buf), c.text) << "raw " << c.raw << " chunk " << chunk;
      }
    }
  }
}

TEST(InputStreamTest, NothingAfterTheEndOfFileByte) {
  MemorySource source(
      "A\x1A"
      "B\n",
      2);
  InputStream in(source);
  char buf[8];
  EXPECT_EQ(in.Read(buf), 1u);
  EXPECT_EQ(in.Read(buf), 0u);
  EXPECT_EQ(in.Read(buf), 0u);
}

TEST(InputStreamTest, AFailedReadStaysFailed) {
  MemorySource source("ABCD", 2, 2);
  InputStream in(source);
  char buf[8];
  EXPECT_EQ(in.Read(buf), 2u);
  EXPECT_EQ(in.Read(buf), std::nullopt);
  EXPECT_EQ(in.Read(buf), std::nullopt);
}

}  // namespace
}  // namespace quillmar
