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
// copy would replace it; an empty file, one with an unknown head type, a
// folder, and a file beside which "converted" is a file. An ended run left
// an unfinished copy behind.
TEST(DroppedTest, EachFileGoesIntoConvertedBesideItAndNoDroppedFileIsWritten) {
  fs::path dir = fs::path(testing::TempDir()) / "dropped";
  fs::remove_all(dir);
  fs::create_directories(dir / "converted");
  fs::create_directories(dir / "gone");
  fs::create_directories(dir / "sub");
  fs::create_directories(dir / "clash");
  Write(dir / "b c&d.kvr", "4162-1=10\r\n");
  Write(dir / "bad.kvr", "A");
  Write(dir / "a.kvr", "9040-1=True\r\n");
  Write(dir / "empty.kvr", "");
  Write(dir / "odd.kvr", "1000-4=NOSUCH\r\n4162-1=10\r\n");
  Write(dir / "clash" / "x.kvr", "A\r\n");
  Write(dir / "clash" / "converted", "not a folder");
  Write(dir / "converted" / "a.kvr", "4172-1=19\r\n");
  Write(dir / "converted" / "bad.kvr", "4172-1=63\r\n");
  Write(dir / "converted" / "old.kvr.quillmar-unfinished", "4172");
  std::string d = dir.string() + "/";
  const std::string dropped[] = {d + "b c&d.kvr",       d + "bad.kvr", d + "gone/none.kvr",
                                 d + "converted/a.kvr", d + "a.kvr",   d + "empty.kvr",
                                 d + "odd.kvr",         d + "sub",     d + "clash/x.kvr"};
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped(dropped, console), 1);

  EXPECT_EQ(Read(dir / "converted" / "b c&d.kvr"), "4172-1=19\r\n");
  EXPECT_EQ(Read(dir / "converted" / "a.kvr"), "4172-1=19\r\n");  // dropped: kept
  EXPECT_EQ(Read(dir / "converted" / "converted" / "a.kvr"), "4172-1=19\r\n");
  EXPECT_EQ(Read(dir / "converted" / "bad.kvr"), "4172-1=63\r\n");  // an earlier copy, kept
  EXPECT_FALSE(fs::exists(dir / "gone" / "converted"));
  EXPECT_FALSE(fs::exists(dir / "sub" / "converted"));
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    EXPECT_FALSE(entry.path().string().ends_with(".quillmar-unfinished")) << entry.path();
  }
  const std::string& text = console.text();
  EXPECT_NE(text.find("Error: Wrong Format\nThe earlier copy converted/bad.kvr was kept.\n"),
            std::string::npos);
  EXPECT_NE(text.find("Cannot open input file " + d + "gone/none.kvr.\nNo copy was made.\n"),
            std::string::npos);
  // The files came from several folders: the summary names them whole.
  EXPECT_TRUE(
      text.ends_with("\nFailed:\n"
                     "  " +
                     d +
                     "bad.kvr: Error: Wrong Format\n"
                     "  " +
                     d + "gone/none.kvr: Cannot open input file " + d +
                     "gone/none.kvr.\n"
                     "  " +
                     d + "a.kvr: Its copy " + d +
                     "converted/a.kvr would replace a dropped file.\n"
                     "  " +
                     d +
                     "sub: It is a folder: open it and drop the files in it.\n"
                     "  " +
                     d + "clash/x.kvr: Cannot make the folder " + d +
                     "clash/converted: a file has that name.\n"
                     "\nConverted, worth a look:\n"
                     "  " +
                     d +
                     "b c&d.kvr: it names no head type: the Xaar500 factor was used.\n"
                     "  " +
                     d +
                     "converted/a.kvr: it names no head type: the Xaar500 factor was used.\n"
                     "  " +
                     d +
                     "converted/a.kvr: no line was rewritten.\n"
                     "  " +
                     d +
                     "empty.kvr: the file is empty.\n"
                     "  " +
                     d +
                     "odd.kvr: its head type is not known: the Xaar500 factor was used.\n"
                     "\nConverted: 4, failed: 5.\n"))
      << text;
}

TEST(DroppedTest, FilesFromOneFolderGoByTheirNamesInTheSummary) {
  fs::path dir = fs::path(testing::TempDir()) / "one-folder";
  fs::remove_all(dir);
  fs::create_directories(dir);
  Write(dir / "good.kvr", "1000-4=XAAR128\r\n4162-1=10\r\n");
  Write(dir / "broken.kvr", "4162-1=10");
  std::string d = dir.string() + "/";
  const std::string dropped[] = {d + "good.kvr", d + "broken.kvr"};
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped(dropped, console), 1);
  EXPECT_TRUE(console.text().ends_with(
      "\nFailed:\n  broken.kvr: Error: Wrong Format\n\nConverted: 1, failed: 1.\n"))
      << console.text();
}

TEST(DroppedTest, NothingDroppedIsAFailureThatSaysWhatToDo) {
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped({}, console), 1);
  EXPECT_TRUE(console.text().starts_with("Drop settings files on this program")) << console.text();
}

}  // namespace
}  // namespace quillmar
