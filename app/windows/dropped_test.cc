#include "app/windows/dropped.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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
  fs::create_directories(dir / "dangling");
  Write(dir / "b c&d.kvr", "4162-1=10\r\n");
  Write(dir / "bad.kvr", "A");
  Write(dir / "a.kvr", "9040-1=True\r\n");
  Write(dir / "empty.kvr", "");
  Write(dir / "odd.kvr", "1000-4=NOSUCH\r\n4162-1=10\r\n");
  Write(dir / "clash" / "x.kvr", "A\r\n");
  Write(dir / "clash" / "converted", "not a folder");
  Write(dir / "dangling" / "x.kvr", "A\r\n");
  fs::create_symlink("nowhere", dir / "dangling" / "converted");
  Write(dir / "converted" / "a.kvr", "4172-1=19\r\n");
  Write(dir / "converted" / "bad.kvr", "4172-1=63\r\n");
  Write(dir / "converted" / "old.kvr.quillmar-unfinished", "4172");
  std::string d = dir.string() + "/";
  const std::string dropped[] = {d + "b c&d.kvr",       d + "bad.kvr", d + "gone/none.kvr",
                                 d + "converted/a.kvr", d + "a.kvr",   d + "empty.kvr",
                                 d + "odd.kvr",         d + "sub",     d + "clash/x.kvr",
                                 d + "dangling/x.kvr"};
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
  EXPECT_TRUE(text.ends_with(
      "\nFailed:\n"
      "  " +
      d +
      "bad.kvr: Error: Wrong Format (line 1: the file ends without a line break)\n"
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
      "  " +
      d + "dangling/x.kvr: Cannot make the folder " + d +
      "dangling/converted.\n"
      "\nConverted, worth a look:\n"
      "  " +
      d +
      "b c&d.kvr: it names no head type: the Xaar500 factor was used.\n"
      "  " +
      d +
      "converted/a.kvr: it names no head type: the Xaar500 factor was used.\n"
      "  " +
      d +
      "converted/a.kvr: no line was changed: the file may have been converted "
      "already.\n"
      "  " +
      d +
      "empty.kvr: the file is empty.\n"
      "  " +
      d +
      "odd.kvr: its head type \"NOSUCH\" is not known: the Xaar500 factor was used.\n"
      "\nConverted: 4, failed: 6.\n"))
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
      "\nFailed:\n  broken.kvr: Error: Wrong Format (line 1: the file ends without a line "
      "break)\n\nConverted: 1, failed: 1.\n"))
      << console.text();
}

TEST(DroppedTest, NotesNameWhatWasFound) {
  fs::path dir = fs::path(testing::TempDir()) / "notes";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string d = dir.string() + "/";
  const std::pair<const char*, const char*> files[] = {
      {"bom.kvr",
       "\xEF\xBB\xBF"
       "1000-4=XAAR128\r\n4162-1=10\r\n"},
      {"late.kvr", "4162-1=100\r\n4162-2=100\r\n1000-4=XAAR128\r\n4162-3=100\r\n"},
      {"space.kvr", "1000-4=XAAR128 \r\n1000-4=XAAR\t128\r\n4162-1=10\r\n"},
      {"mixed.kvr", "1000-4=XAAR128\r\n4162-1=10\r\n1000-4=NOPE\r\n4162-2=10\r\n"},
      {"done.kvr", "1000-4=XAAR128\r\n4172-1=19\r\n9040-1=False\r\n"},
      {"good.kvr", "4162-1=10\r\n1000-4=XAAR500\r\n9040-1=True\r\n"},
  };
  std::vector<std::string> dropped;
  for (const auto& [name, bytes] : files) {
    Write(dir / name, bytes);
    dropped.push_back(d + name);
  }
  dropped.push_back(d + "good.kvr");  // dropped twice: converted once
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped(dropped, console), 0);
  EXPECT_TRUE(console.text().ends_with(
      "\nConverted, worth a look:\n"
      "  bom.kvr: it starts with a byte order mark (the bytes EF BB BF), so its first line was "
      "not read as a head type: the Xaar500 factor was used.\n"
      "  late.kvr: line 3 names XAAR128 after 2 lines of group 4162, which were converted with "
      "the Xaar500 factor.\n"
      "  space.kvr: its head type \"XAAR128 \" is not known: the Xaar500 factor was used.\n"
      "  mixed.kvr: its head type \"NOPE\" is not known: the Xaar500 factor was used.\n"
      "  done.kvr: no line was changed: the file may have been converted already.\n"
      "\nConverted: 6, failed: 0.\n"))
      << console.text();
}

TEST(DroppedTest, ADoubtfulCopyReplacesADifferentEarlierOneOnlyIfThePersonSaysSo) {
  const std::string earlier = "1000-4=HP600\r\n4172-1=63\r\n";
  for (bool yes : {false, true}) {
    fs::path dir = fs::path(testing::TempDir()) / "held";
    fs::remove_all(dir);
    fs::create_directories(dir / "converted");
    Write(dir / "emptied.kvr", "");  // worth a look, an earlier copy differs: held
    Write(dir / "converted" / "emptied.kvr", earlier);
    Write(dir / "bare.kvr", "4162-1=10\r\n");  // worth a look, the same as before
    Write(dir / "converted" / "bare.kvr", "4172-1=19\r\n");
    Write(dir / "new.kvr", "");                                // worth a look, no earlier copy
    Write(dir / "good.kvr", "1000-4=HP600\r\n4162-1=10\r\n");  // a good copy
    Write(dir / "converted" / "good.kvr", "old\r\n");
    std::string d = dir.string() + "/";
    const std::string dropped[] = {d + "emptied.kvr", d + "bare.kvr", d + "new.kvr",
                                   d + "good.kvr"};
    MemoryConsole console;
    Answer answer(yes);
    EXPECT_EQ(ConvertDropped(dropped, console, &answer), yes ? 0 : 1);
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(Read(dir / "converted" / "emptied.kvr"), yes ? "" : earlier);
    EXPECT_EQ(Read(dir / "converted" / "bare.kvr"), "4172-1=19\r\n");
    EXPECT_EQ(Read(dir / "converted" / "new.kvr"), "");
    EXPECT_EQ(Read(dir / "converted" / "good.kvr"), earlier);
    EXPECT_TRUE(console.text().ends_with(
        "\nConverted: 4, failed: 0.\n"
        "\nWorth a look, and different from the earlier copies:\n"
        "  converted/emptied.kvr\n"
        "Replace the earlier copy with this new one? Type y and press Enter; Enter alone keeps "
        "the earlier copies.\n" +
        std::string(yes ? "The new copies replaced the earlier ones.\n"
                        : "The earlier copies were kept, and the new ones removed:\n"
                          "  converted/emptied.kvr\n")))
        << console.text();
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      EXPECT_FALSE(entry.path().string().ends_with(".quillmar-unfinished")) << entry.path();
    }
  }
}

// Starts a second run on the same folder while the first writes its copy.
class SecondRun final : public Console {
 public:
  explicit SecondRun(std::string file) : file_(std::move(file)) {}
  std::string text;

 protected:
  void Write(std::string_view part) override {
    text.append(part);
    if (part.starts_with("Detecting head type") && !started_) {
      started_ = true;
      MemoryConsole second;
      const std::string dropped[] = {file_};
      EXPECT_EQ(ConvertDropped(dropped, second), 0) << second.text();
    }
  }

 private:
  std::string file_;
  bool started_ = false;
};

TEST(DroppedTest, TwoRunsAtOnceInOneFolderBothEndWithTheirCopies) {
  fs::path dir = fs::path(testing::TempDir()) / "two-runs";
  fs::remove_all(dir);
  fs::create_directories(dir / "converted");
  Write(dir / "first.kvr", "1000-4=HP600\r\n4162-1=10\r\n");
  Write(dir / "second.kvr", "4162-1=10\r\n");
  // Left by a run that was killed: the next run removes it.
  Write(dir / "converted" / "killed.kvr.quillmar-unfinished", "4172");
  SecondRun console(dir.string() + "/second.kvr");
  const std::string dropped[] = {dir.string() + "/first.kvr"};
  EXPECT_EQ(ConvertDropped(dropped, console), 0) << console.text;
  EXPECT_EQ(Read(dir / "converted" / "first.kvr"), "1000-4=HP600\r\n4172-1=63\r\n");
  EXPECT_EQ(Read(dir / "converted" / "second.kvr"), "4172-1=19\r\n");
  EXPECT_FALSE(fs::exists(dir / "converted" / "killed.kvr.quillmar-unfinished"));
}

TEST(DroppedTest, NothingDroppedIsAFailureThatSaysWhatToDo) {
  MemoryConsole console;
  EXPECT_EQ(ConvertDropped({}, console), 1);
  EXPECT_TRUE(console.text().starts_with("Drop settings files on this program")) << console.text();
}

}  // namespace
}  // namespace quillmar
