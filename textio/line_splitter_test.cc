#include "textio/line_splitter.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

// Splits the text and renders what came out: each line as its content and
// one "|" per break, then "!" for a format error or "?" for a failed read.
std::string Split(std::string_view text, size_t chunk, size_t block,
                  std::optional<size_t> fail_at = std::nullopt) {
  MemorySource source(text, chunk, fail_at);
  InputStream input(source);
  LineSplitter splitter(input, block);
  std::string out;
  Line line;
  while (!splitter.AtEnd()) {
    switch (splitter.Next(&line)) {
      case LineSplitter::Result::kLine:
        out += std::string(line.content) + std::string(line.breaks, '|');
        continue;
      case LineSplitter::Result::kWrongFormat:
        return out + "!";
      case LineSplitter::Result::kReadFailed:
        return out + "?";
    }
  }
  return out;
}

TEST(LineSplitterTest, SplitsAndChecks) {
  using namespace std::string_literals;
  struct Case {
    std::string text, lines;
  } cases[] = {
      {"", ""},
      {"A\n", "A|"},
      {"A\nB\n", "A|B|"},
      {"A\n\n\nB\n", "A|||B|"},  // blank lines join the break run before
      {"\n\nA\n", "||A|"},       // a leading break run is a line of its own
      {"A\nB", "A|!"},           // the last line lacks its break
      {"A\nB\x01"
       "C\n",
       "A|!"},  // control byte after the first byte
      {"\x01"
       "A\n",
       "\x01"
       "A|"},  // ...is fine as the first byte
      {"\xFF\n", "\xFF|"},
      {"A\xFF\n", "!"},
      {"A\x08\n", "!"},
      {"A\t\x0B\x0C\x0E\x1F\x7F\x80\xE4\xFE\n", "A\t\x0B\x0C\x0E\x1F\x7F\x80\xE4\xFE|"},
      {"\0A\n"s, "\0A|"s},  // a NUL first is kept
      {"A\0\n"s, "!"},      // a NUL later is rejected
      {"A\r\nB\r\n", "A|B|"},
  };
  for (const Case& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, SIZE_MAX}) {
      for (size_t block : {size_t{1}, size_t{4}, size_t{4096}}) {
        EXPECT_EQ(Split(c.text, chunk, block), c.lines)
            << "text \"" << c.text << "\" chunk " << chunk << " block " << block;
      }
    }
  }
}

TEST(LineSplitterTest, CountsLinesByTheirBreaks) {
  MemorySource source("A\n\n\nB\nC\n");
  InputStream input(source);
  LineSplitter splitter(input, 2);
  Line line;
  std::vector<uint64_t> numbers;
  while (!splitter.AtEnd() && splitter.Next(&line) == LineSplitter::Result::kLine) {
    numbers.push_back(line.number);
  }
  EXPECT_EQ(numbers, (std::vector<uint64_t>{1, 4, 5}));
}

TEST(LineSplitterTest, AFailedReadIsNotAFormatError) {
  // Lines complete before the failure are delivered; the failure is not
  // mistaken for the end of a line without a break.
  EXPECT_EQ(Split("A\nBC\nD\n", 1, 1, 4), "A|?");
  EXPECT_EQ(Split("A\nBC\nD\n", 3, 4, 0), "?");
  // A rejected byte read before the failure is reported first.
  EXPECT_EQ(Split("A\nB\x01"
                  "C\n",
                  1, 1, 5),
            "A|!");
}

TEST(LineSplitterTest, LinesLongerThanTheBuffer) {
  std::string longline(100000, 'x');
  EXPECT_EQ(Split(longline + "\n" + "y\n", 4096, 16), longline + "|y|");
  std::string breaks(100000, '\n');
  EXPECT_EQ(Split("a" + breaks + "b\n", 4096, 16), "a" + std::string(100000, '|') + "b|");
}

}  // namespace
}  // namespace quillmar
