#include "textio/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quillmar {
namespace {

namespace fs = std::filesystem;

// Whether a file read to its end, `read` bytes, was all there is, after
// another program changed it under the reader.
TEST(FileIoTest, AFileEndsWhereItEndedWhenOpenedIfItStillDoes) {
  const std::string path = (fs::path(testing::TempDir()) / "ends_at.kvr").string();
  struct Row {
    const char* what;
    uintmax_t size_after;  // the file's size once opened and read
    uint64_t read;
    bool ends;
  } rows[] = {
      {"unchanged", 1000, 1000, true}, {"read short of its size", 1000, 600, false},
      {"cut short", 600, 1000, false}, {"cut short, to where the reading ended", 600, 600, false},
      {"grown", 1400, 1000, false},
  };
  for (const Row& row : rows) {
    std::ofstream(path, std::ios::binary) << std::string(1000, 'x');
    std::unique_ptr<FileSource> in = OpenInput(path);
    ASSERT_TRUE(in) << row.what;
    fs::resize_file(path, row.size_after);
    EXPECT_EQ(in->EndsAt(row.read), row.ends) << row.what;
  }
  fs::remove(path);
#ifdef __linux__
  // A file that says it is empty, as those under /proc do, and holds text.
  std::unique_ptr<FileSource> proc = OpenInput("/proc/self/status");
  ASSERT_TRUE(proc);
  EXPECT_TRUE(proc->EndsAt(1234));
#endif
}

}  // namespace
}  // namespace quillmar
