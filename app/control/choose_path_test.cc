#include "app/control/choose_path.h"

#include <gtest/gtest.h>

#include "app/engine/convert.h"
#include "app/threads/stretches.h"
#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

struct Result {
  Outcome outcome;
  std::string output, console;
};

// With a `stretch`, the input can be read anywhere, as a file on disk, and
// one of two stretches or more is converted in stretches of that size on
// two threads, whatever the cores.
Result ConvertSource(MemorySource& in, size_t capacity, size_t block, SplitMode mode,
                     size_t stretch) {
  MemorySink out(capacity);
  MemoryConsole console;
  std::optional<Outcome> two;
  if (stretch > 0 && in.Size().value_or(0) >= 2 * stretch) {
    two = ConvertInStretches(in, out, console, block, stretch);
    EXPECT_TRUE(two.has_value()) << "not converted on two threads";
  }
  Outcome outcome = two ? *two : Convert(in, out, console, block, mode, 0);
  return {outcome, out.bytes(), console.text()};
}

Result ConvertText(std::string_view input, size_t chunk = SIZE_MAX, size_t capacity = SIZE_MAX,
                   size_t block = kBlockSize, SplitMode mode = SplitMode::kFast,
                   size_t stretch = 0) {
  MemorySource in(input, chunk, std::nullopt, stretch > 0);
  return ConvertSource(in, capacity, block, mode, stretch);
}

TEST(ConvertTest, LinesOfAnyLength) {
  constexpr size_t kTenMegabytes = size_t{10} * 1000 * 1000;
  std::string content(kTenMegabytes, 'v');
  std::string breaks(kTenMegabytes, '\n');
  Result r = ConvertText("K=" + content + "\r\nA" + breaks);
  ASSERT_EQ(r.outcome.kind, Outcome::kComplete);
  std::string want = "K=" + content + "\r\nA";
  for (size_t i = 0; i < breaks.size(); ++i) want += "\r\n";
  EXPECT_TRUE(r.output == want);  // not EXPECT_EQ: a mismatch would print 30 MB
}

TEST(ConvertTest, WriteFailureStopsTheRun) {
  std::string line = "K=" + std::string(1000, 'v') + "\n";
  std::string input;
  for (int i = 0; i < 10000; ++i) input += line;
  Result r = ConvertText(input, SIZE_MAX, 5000);
  EXPECT_EQ(r.outcome.kind, Outcome::kWriteFailed);
}

TEST(ConvertTest, AFileChangedUnderTheRunIsNotCompleted) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "1000-4=HP600\r\n4162-1=1\r\n";
  const std::string whole = ConvertText(text).output;
  struct Case {
    const char* what;
    size_t data, said;  // the bytes there are, and the size said at opening
  } cases[] = {
      {"cut short", text.size() / 2, text.size()},  {"cut short at a line's end", 14, text.size()},
      {"cut short within a line", 20, text.size()}, {"grown", text.size(), text.size() / 2},
      {"unchanged", text.size(), text.size()},
  };
  for (const Case& c : cases) {
    for (size_t stretch : {size_t{0}, size_t{40}}) {
      MemorySource in(std::string_view(text).substr(0, c.data), 5, std::nullopt, stretch > 0);
      in.SizeAtOpening(c.said);
      Result r = ConvertSource(in, SIZE_MAX, 16, SplitMode::kFast, stretch);
      bool changed = c.data != c.said;
      EXPECT_EQ(r.outcome.kind, changed ? Outcome::kReadFailed : Outcome::kComplete)
          << c.what << " " << stretch;
      // The lines read stay, as after any failed read.
      EXPECT_TRUE(whole.starts_with(r.output)) << c.what << " " << stretch;
    }
  }
}

TEST(ConvertTest, TheSameInputGivesTheSameOutputInAnyPieces) {
  std::string input = "1000-4=HP600\r\n\r\n4162-1=10\r\nA\rB\r\n9040-1=True\r\n\x1A junk\r\nZ\r\n";
  // Every piece size, both ways of finding lines, against the reference way
  // in whole blocks.
  Result whole = ConvertText(input, SIZE_MAX, SIZE_MAX, kBlockSize, SplitMode::kReference);
  for (size_t chunk = 1; chunk <= input.size(); ++chunk) {
    for (SplitMode mode : {SplitMode::kFast, SplitMode::kReference}) {
      Result pieces = ConvertText(input, chunk, SIZE_MAX, chunk, mode);
      EXPECT_EQ(pieces.outcome.kind, whole.outcome.kind);
      EXPECT_EQ(pieces.output, whole.output) << "chunk " << chunk;
      EXPECT_EQ(pieces.console, whole.console) << "chunk " << chunk;
    }
  }
  EXPECT_EQ(ConvertText(input).output, whole.output);
  // Stretches of every size, cut anywhere, read in pieces or whole.
  for (size_t stretch = 1; 2 * stretch <= input.size(); ++stretch) {
    for (size_t chunk : {size_t{3}, size_t{SIZE_MAX}}) {
      Result pieces = ConvertText(input, chunk, SIZE_MAX, 4, SplitMode::kFast, stretch);
      EXPECT_EQ(pieces.outcome.kind, whole.outcome.kind);
      EXPECT_EQ(pieces.output, whole.output) << "stretch " << stretch;
      EXPECT_EQ(pieces.console, whole.console) << "stretch " << stretch;
    }
  }
}

TEST(ConvertTest, TheFastWayAgreesWithTheReferenceOnMixedText) {
  // Texts long enough for the fast way's chunks, from lines of every kind
  // with every kind of break, in an order drawn from a fixed sequence.
  const std::string lines[] = {"1000-4=HP600", "1000-4=ZX", "4162-12=345", "4162-7=-2.5",
                               "9040-1=True", "", "A=some words", std::string(70, 'x'), "\x01lead",
                               "B\x01late", "C\rmid", "4162-1=99999999999",
                               // out of range for an HP head alone
                               "4162-2=500000000"};
  const std::string breaks[] = {"\r\n", "\n", "\r\n\r\n", "\n\n", "\r\r\n", "\n\r"};
  uint32_t state = 1;
  auto draw = [&](uint32_t n) {
    state = state * 1664525 + 1013904223;
    return (state >> 8) % n;
  };
  for (uint32_t text = 0; text < 3000; ++text) {
    std::string input;
    while (input.size() < 400) {
      // Mostly usual lines, so that the chunks pass many of them.
      input += lines[draw(draw(4) == 0 ? std::size(lines) : 7)];
      input += breaks[draw(3) == 0 ? draw(std::size(breaks)) : text % 2];
    }
    Result reference = ConvertText(input, SIZE_MAX, SIZE_MAX, 256, SplitMode::kReference);
    // Converted in one thread, and in stretches whose pieces start on every
    // kind of line, guessing the head family.
    for (size_t stretch : {size_t{0}, size_t{4 + text % 60}}) {
      Result fast = ConvertText(input, SIZE_MAX, SIZE_MAX, 256, SplitMode::kFast, stretch);
      ASSERT_EQ(fast.outcome.kind, reference.outcome.kind) << text << " " << stretch;
      ASSERT_EQ(fast.outcome.line, reference.outcome.line) << text << " " << stretch;
      ASSERT_EQ(fast.outcome.fault, reference.outcome.fault) << text << " " << stretch;
      if (reference.outcome.kind == Outcome::kComplete) {
        ASSERT_TRUE(fast.outcome.tally == reference.outcome.tally) << text << " " << stretch;
      }
      ASSERT_EQ(fast.output, reference.output) << text << " " << stretch;
      ASSERT_EQ(fast.console, reference.console) << text << " " << stretch;
    }
  }
}

// Writes down what it is told, one line an event.
class ChangeLog final : public ChangeWatcher {
 public:
  void HeadType(uint64_t line, std::string_view name, bool known) override {
    log += std::to_string(line) + " head " + std::string(name) + (known ? "\n" : " unknown\n");
  }
  void Changed(uint64_t line, std::string_view before, std::string_view after) override {
    log += std::to_string(line) + " " + std::string(before) + " -> " + std::string(after) + "\n";
  }
  std::string log;
};

TEST(ConvertTest, AWatcherIsToldOfEveryChangeByItsLineEitherWay) {
  std::string_view input =
      "1000-4=XAAR128\r\n4162-4=12.9\r\n\r\n9040-1=True\r\n4162-5=-7\r\n1000-4=NOPE\r\n"
      "4162-6=100\r\n2000-1=x\r\n9040-1=False\r\n";
  for (SplitMode mode : {SplitMode::kFast, SplitMode::kReference}) {
    MemorySource in(input);
    MemorySink out;
    MemoryConsole console;
    ChangeLog changes;
    EXPECT_EQ(ConvertOnOneThread(in, out, console, 4, mode, &changes).kind, Outcome::kComplete);
    EXPECT_EQ(changes.log,
              "1 head XAAR128\n2 4162-4=12.9 -> 4172-4=23\n4 9040-1=True -> 9040-1=False\n"
              "5 4162-5=-7 -> 4172-5=-14\n6 head NOPE unknown\n7 4162-6=100 -> 4172-6=188\n"
              "9 9040-1=False -> 9040-1=False\n");
  }
}

}  // namespace
}  // namespace quillmar
