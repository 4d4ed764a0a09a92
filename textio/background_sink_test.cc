#include "textio/background_sink.h"

#include <gtest/gtest.h>

#include "tests/support/memory_io.h"
#include "textio/output_stream.h"

namespace quillmar {
namespace {

// Stands for a file: writes to a memory sink the test keeps, and tells
// whether it was closed.
class Kept : public ByteSink {
 public:
  Kept(MemorySink& sink, bool* closed) : sink_(sink), closed_(closed) {}
  bool Write(std::string_view bytes) override { return sink_.Write(bytes); }
  uint64_t Stored() override { return sink_.Stored(); }
  bool Close() override {
    *closed_ = true;
    return sink_.Close();
  }

 private:
  MemorySink& sink_;
  bool* closed_;
};

TEST(BackgroundSinkTest, BytesKeepTheirOrder) {
  // Blocks of every size, and lines longer than a block, which go straight
  // out between them.
  MemorySink memory;
  bool closed = false;
  BackgroundSink sink(std::make_unique<Kept>(memory, &closed));
  OutputStream out(sink, 64);
  std::string want;
  for (size_t i = 0; i < 20000; ++i) {
    std::string line(i % 97 == 0 ? 200 : i % 13, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(out.WriteLine(line, 1));
    want += line + "\r\n";
  }
  ASSERT_TRUE(out.Flush());
  ASSERT_TRUE(sink.Close());
  EXPECT_TRUE(closed);
  EXPECT_TRUE(memory.bytes() == want);
}

TEST(BackgroundSinkTest, AFailedWriteIsReportedAndTheFileStillClosed) {
  MemorySink memory(1000);  // holds 1000 bytes, then fails
  bool closed = false;
  BackgroundSink sink(std::make_unique<Kept>(memory, &closed));
  OutputStream out(sink, 64);
  bool failed = false;
  for (size_t i = 0; i < 1000 && !failed; ++i) failed = !out.WriteLine("0123456789", 1);
  EXPECT_TRUE(failed || !out.Flush());
  EXPECT_FALSE(sink.Close());
  EXPECT_TRUE(closed);
  EXPECT_EQ(memory.bytes().size(), 1000u);
}

}  // namespace
}  // namespace quillmar
