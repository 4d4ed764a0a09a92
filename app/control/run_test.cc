#include "app/control/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST(RunTest, APersonAskedBeforeAFileIsReplacedMaySayNo) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / "asked";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string in = (dir / "in.kvr").string(), out = (dir / "out.kvr").string();
  std::ofstream(in, std::ios::binary) << "4162-1=10\r\n";
  auto read = [&out] {
    std::ostringstream s;
    s << std::ifstream(out, std::ios::binary).rdbuf();
    return s.str();
  };
  const std::string converting = "\nConverting " + in + " -> " + out + ".\n";
  const std::string question = "\nThe file " + out + " exists already: converting " + in +
                               " would replace it.\nType y and press Enter to replace it; press "
                               "Enter alone to keep it.\n";
  struct Row {
    bool exists, yes;
    int status, asked;
    std::string console, copy;
  } rows[] = {
      {true, false, 1, 1,
       converting + question + "Nothing was written: " + out + " was kept as it was.\n",
       "second\r\n"},
      {true, true, 0, 1, converting + question + "Conversion Complete.\n", "4172-1=19\r\n"},
      {false, false, 0, 0, converting + "Conversion Complete.\n", "4172-1=19\r\n"},
  };
  for (const Row& row : rows) {
    fs::remove(out);
    if (row.exists) std::ofstream(out, std::ios::binary) << "second\r\n";
    MemoryConsole console;
    Answer answer(row.yes);
    const std::string args[] = {"quillmar", in, out};
    EXPECT_EQ(quillmar::Run(args, console, &answer), row.status);
    EXPECT_EQ(answer.asked, row.asked);
    EXPECT_EQ(console.text(), row.console);
    EXPECT_EQ(read(), row.copy);
  }
}

}  // namespace
}  // namespace quillmar
