#include "app/run.h"

#include <gtest/gtest.h>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

// One input file in memory, and an output whose close fails.
struct FailingClose : Files {
  std::string input = "A\r\n";
  std::unique_ptr<ByteSource> OpenInput(const std::string&) override {
    return std::make_unique<MemorySource>(input);
  }
  std::unique_ptr<ByteSink> OpenOutput(const std::string&) override {
    return std::make_unique<MemorySink>(SIZE_MAX, /*close_fails=*/true);
  }
  bool SameFile(const std::string&, const std::string&) override { return false; }
  bool IsConsole(const std::string&) override { return false; }
};

TEST(RunTest, AFailedCloseOfTheOutputIsAFailedWrite) {
  FailingClose files;
  MemoryConsole console;
  const std::string args[] = {"quillmar", "in.kvr", "out.kvr"};
  EXPECT_EQ(quillmar::Run(args, console, files), 1);
  EXPECT_EQ(console.text(), "\nConverting in.kvr -> out.kvr.\nCannot write output file out.kvr.\n");
}

}  // namespace
}  // namespace quillmar
