#include "app/dropped.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Dropped: a good file, a damaged one with a good copy from before, a
// missing one, a file already in converted/, and after it the file whose
// copy would replace it. An ended run left an unfinished copy behind.
TEST(DroppedTest, EachFileGoesIntoConvertedBesideItAndNoDroppedFileIsWritten) {
  fs::path dir = fs::path(testing::TempDir()) / "dropped";
  fs::remove_all(dir);
  fs::create_directories(dir / "converted");
  fs::create_directories(dir / "gone");
  Write(dir / "b c&d.kvr", "4162-1=10\r\n");
  Write(dir / "bad.kvr", "A");
  Write(dir / "a.kvr", "9040-1=True\r\n");
  Write(dir / "converted" / "a.kvr", "4172-1=19\r\n");
  Write(dir / "converted" / "bad.kvr", "4172-1=63\r\n");
  Write(dir / "converted" / "old.kvr.quillmar-unfinished", "4172");
  std::string d = dir.string() + "/";
  const std::string dropped[] = {d + "b c&d.kvr", d + "bad.kvr", d + "gone/none.kvr",
                                 d + "converted/a.kvr", d + "a.kvr"};
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped(dropped, console), 1);

  EXPECT_EQ(Read(dir / "converted" / "b c&d.kvr"), "4172-1=19\r\n");
  EXPECT_EQ(Read(dir / "converted" / "a.kvr"), "4172-1=19\r\n");  // dropped: kept
  EXPECT_EQ(Read(dir / "converted" / "converted" / "a.kvr"), "4172-1=19\r\n");
  EXPECT_FALSE(fs::exists(dir / "gone" / "converted"));
  EXPECT_EQ(Read(dir / "converted" / "bad.kvr"), "4172-1=63\r\n");
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    EXPECT_FALSE(entry.path().string().ends_with(".quillmar-unfinished")) << entry.path();
  }
  const std::string& text = console.text();
  EXPECT_NE(text.find("Error: Wrong Format\nThe earlier copy converted/bad.kvr was kept.\n"),
            std::string::npos);
  EXPECT_NE(text.find("Cannot open input file " + d + "gone/none.kvr.\nNo copy was made.\n"),
            std::string::npos);
  EXPECT_NE(text.find("Not converted: " + d + "a.kvr. Its copy " + d +
                      "converted/a.kvr would replace a dropped file.\n"),
            std::string::npos);
  EXPECT_TRUE(text.ends_with("\nConverted: 2, failed: 3.\n")) << text;
}

TEST(DroppedTest, NothingDroppedIsAFailureThatSaysWhatToDo) {
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped({}, console), 1);
  EXPECT_TRUE(console.text().starts_with("Drop settings files on this program")) << console.text();
}

}  // namespace
}  // namespace quillmar
