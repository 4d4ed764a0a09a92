#include "textio/line_splitter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

// Splits the text and renders what came out: each line as its content and
// one "|" per break, then for a format error "!", the line and why ("end":
// no break at the end, "cr": lines end in CR alone, or the byte refused),
// or "?" for a failed read.
std::string Split(std::string_view text, size_t chunk, size_t block,
                  std::optional<size_t> fail_at = std::nullopt,
                  std::span<const std::string_view> wanted = {},
                  SplitMode mode = SplitMode::kFast) {
  MemorySource source(text, chunk, fail_at);
  InputStream input(source);
  LineSplitter splitter(input, block, wanted, mode);
  MemorySink sink;
  OutputStream passed(sink);
  std::string out;
  Line line;
  while (!splitter.AtEnd()) {
    switch (splitter.Next(&line, passed)) {
      case LineSplitter::Result::kPassed:
        continue;
      case LineSplitter::Result::kLine:
        out.append(line.content).append(static_cast<size_t>(line.breaks), '|');
        continue;
      case LineSplitter::Result::kWrongFormat: {
        FormatFault fault = splitter.Fault();
        char why[8] = "end";
        if (fault.kind == FormatFault::kCrAlone) std::snprintf(why, sizeof why, "cr");
        if (fault.kind == FormatFault::kByte) std::snprintf(why, sizeof why, "x%02X", fault.byte);
        return out + "!" + std::to_string(splitter.LineNumber()) + " " + why;
      }
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
      {"A\nB", "A|!2 end"},      // the last line lacks its break
      {"A\nB\x01"
       "C\n",
       "A|!2 x01"},  // control byte after the first byte
      {"\x01"
       "A\n",
       "\x01"
       "A|"},  // ...is fine as the first byte
      {"\xFF\n", "\xFF|"},
      {"A\xFF\n", "!1 xFF"},
      {"A\x08\n", "!1 x08"},
      {"A\t\x0B\x0C\x0E\x1F\x7F\x80\xE4\xFE\n", "A\t\x0B\x0C\x0E\x1F\x7F\x80\xE4\xFE|"},
      {"\0A\n"s, "\0A|"s},   // a NUL first is kept
      {"A\0\n"s, "!1 x00"},  // a NUL later is rejected
      {"\xFF\xFE"
       "1\0\n\0"s,
       "!1 x00"},  // UTF-16
      {"A\r\nB\r\n", "A|B|"},
      // CRs are dropped wherever they stand.
      {"A\rB\n", "AB|"},
      {"\r\r\r", ""},
      {"\r\n\rA\r\r\n\r\r\n\rB\r\n", "|A||B|"},
      {"A\r\x01\n", "!1 x01"},  // the CR does not make 0x01 a first byte
      {"\r\x01"
       "A\r\n",
       "\x01"
       "A|"},  // ...nor does it take the exemption
      {"A\r", "!1 cr"},
      {"A\n\nB\rC\r", "A||!3 cr"},  // lines that end in CR alone
  };
  for (const Case& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{SIZE_MAX}}) {
      for (size_t block : {size_t{1}, size_t{4}, size_t{4096}}) {
        for (SplitMode mode : {SplitMode::kFast, SplitMode::kReference}) {
          EXPECT_EQ(Split(c.text, chunk, block, std::nullopt, {}, mode), c.lines)
              << "text \"" << c.text << "\" chunk " << chunk << " block " << block;
        }
      }
    }
  }
}

TEST(LineSplitterTest, ARunOfBreaksIsCountedNotHeld) {
  constexpr size_t kBreaks = size_t{1} << 20;
  std::string text = "A" + std::string(kBreaks, '\n') + "B\n";
  MemorySource source(text);
  InputStream input(source);
  LineSplitter splitter(input, 4096);
  MemorySink sink;
  OutputStream unused(sink);  // without keys no line is passed
  Line line;
  ASSERT_EQ(splitter.Next(&line, unused), LineSplitter::Result::kLine);
  EXPECT_EQ(line.breaks, kBreaks);
  EXPECT_LE(splitter.Held(), size_t{4} * 4096);
  ASSERT_EQ(splitter.Next(&line, unused), LineSplitter::Result::kLine);
  EXPECT_EQ(line.content, "B");
  EXPECT_EQ(line.number, kBreaks + 1);
}

TEST(LineSplitterTest, PassesUnwantedLinesThatNeedNoChange) {
  // Lines beginning with W are wanted. Whatever is passed or delivered, the
  // bytes that go out are the same, and every wanted line is delivered.
  constexpr std::string_view wanted[] = {"W"};
  struct Case {
    std::string text, out, delivered;  // delivered: with full buffers
  } cases[] = {
      {"A\r\nB\r\nW\r\nC\r\nD\r\n", "A\r\nB\r\nW\r\nC\r\nD\r\n", "W|D|"},
      {"A\nB\r\nC\r\n", "A\r\nB\r\nC\r\n", "C|"},                    // an LF alone becomes CR LF
      {"A\n\nB\nC\n", "A\r\n\r\nB\r\nC\r\n", "C|"},                  // ...in a run of them too
      {"A\n\r\nB\r\n\nC\n", "A\r\n\r\nB\r\n\r\nC\r\n", "A||B||C|"},  // mixed runs are checked
      {"A\r\n\r\nB\r\nC\n", "A\r\n\r\nB\r\nC\r\n", "C|"},            // CR LF blank lines pass too
      {"A\r\nB\x01\r\n", "A\r\n!", "!"},
      {"A\r\nB", "A\r\n!", "!"},
      {"\x01\r\nA\r\nB\r\n", "\x01\r\nA\r\nB\r\n", "\x01|B|"},
      {"A\rB\r\nC\r\nD\r\n", "AB\r\nC\r\nD\r\n", "AB|D|"},
      {"W\rX\r\nWY\r\n", "WX\r\nWY\r\n", "WX|WY|"},
  };
  for (const Case& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{SIZE_MAX}}) {
      for (size_t block : {size_t{1}, size_t{5}, size_t{4096}}) {
        MemorySource source(c.text, chunk);
        InputStream input(source);
        LineSplitter splitter(input, block, wanted);
        MemorySink sink;
        OutputStream output(sink, block);
        std::string out, delivered;
        Line line;
        size_t wanted_lines = 0;
        while (!splitter.AtEnd()) {
          LineSplitter::Result r = splitter.Next(&line, output);
          if (r != LineSplitter::Result::kLine && r != LineSplitter::Result::kPassed) {
            out += "!";
            delivered += "!";
            break;
          }
          if (r == LineSplitter::Result::kPassed) continue;
          output.WriteLine(line.content, line.breaks);
          delivered.append(line.content).append(static_cast<size_t>(line.breaks), '|');
          if (line.content.starts_with("W")) ++wanted_lines;
        }
        ASSERT_TRUE(output.Flush());
        out.insert(0, sink.bytes());
        size_t w = c.text.starts_with("W") ? 1 : 0;
        for (size_t i = c.text.find("\nW"); i != std::string::npos; i = c.text.find("\nW", i + 1))
          ++w;
        if (out.ends_with("!")) w = wanted_lines;  // a format error ends it early
        EXPECT_EQ(wanted_lines, w);
        std::string where = "text \"" + c.text + "\" chunk " + std::to_string(chunk) + " block " +
                            std::to_string(block);
        EXPECT_EQ(out, c.out) << where;
        if (chunk == SIZE_MAX && block == 4096) {
          EXPECT_EQ(delivered, c.delivered) << where;
        }
      }
    }
  }
}

TEST(LineSplitterTest, CountsLinesByTheirBreaks) {
  MemorySource source("A\n\n\nB\nC\n");
  InputStream input(source);
  LineSplitter splitter(input, 2);
  MemorySink sink;
  OutputStream unused(sink);
  Line line;
  std::vector<uint64_t> numbers;
  while (!splitter.AtEnd() && splitter.Next(&line, unused) == LineSplitter::Result::kLine) {
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
            "A|!2 x01");
}

TEST(LineSplitterTest, LinesLongerThanTheBuffer) {
  std::string longline(100000, 'x');
  EXPECT_EQ(Split(longline + "\n" + "y\n", 4096, 16), longline + "|y|");
  std::string breaks(100000, '\n');
  EXPECT_EQ(Split("a" + breaks + "b\n", 4096, 16), "a" + std::string(100000, '|') + "b|");
}

}  // namespace
}  // namespace quillmar
