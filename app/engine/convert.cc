// The conversion loop, on one thread.
#include "app/engine/convert.h"

#include <new>
#include <string>

#include "app/engine/messages.h"
#include "rules/rules.h"
#include "textio/decimal.h"
#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {
namespace {

// Where a line's conversion is told of: the messages, with the place in
// the copy where the conversion started, and the watcher with the number
// of the line in hand. One argument, so that the hot call's arguments stay
// in registers.
struct Telling {
  Messages& messages;
  uint64_t start;
  ChangeWatcher* watcher;
  const uint64_t& line;
};

// Tells of a head type line, which starts at `at` in the copy, in the
// messages and to the watcher.
[[gnu::noinline]] void TellHeadType(bool known, std::string_view name, uint64_t at,
                                    PieceState& state, const Telling& telling) {
  Tally& tally = state.tally;
  if (tally.known_heads + tally.unknown_heads == 0) {
    tally.first_head = telling.line;
    tally.rescaled_before_head = tally.rescaled;
    if (known) tally.first_family = state.rules.family;
    tally.first_name = name.substr(0, kNameKept);
  }
  at -= telling.start;
  if (known) {
    std::string text = "Detecting head type: ";
    text.append(name).append("\n");
    telling.messages.Tell(at, text);
    ++tally.known_heads;
  } else {
    telling.messages.Tell(at, "Error: Headtype not found - Xaar500 value is used..\n");
    if (tally.unknown_heads++ == 0) tally.unknown_name = name.substr(0, kNameKept);
  }
  if (telling.watcher != nullptr) telling.watcher->HeadType(telling.line, name, known);
}

// Tells the watcher of a line rewritten with a number, as it was written.
[[gnu::noinline]] void TellRewrite(const Telling& telling, std::string_view before,
                                   std::string_view key, std::string_view rest, int32_t value) {
  std::string after(key);
  after += rest;
  size_t at = after.size();
  after.resize(at + DecimalLength(value));
  WriteDecimal(value, after.data() + at);
  telling.watcher->Changed(telling.line, before, after);
}

// Applies the rules to a line and writes what they make of it. False when
// the run must stop: its value is out of range, and nothing was written. A
// failed write shows in the output. Hot: a change here is measured with
// bench/run.sh.
bool WriteConverted(std::string_view content, uint64_t breaks, PieceState& state,
                    OutputStream& output, const Telling& telling) {
  Effect effect = ApplyRules(content, state.rules);
  // Only a piece begun on a guess of the family, until its first head type
  // line: one branch, never taken on one thread.
  if (state.guessed) {
    state.guess_used = state.guess_used || effect.used_family;
    state.guessed = effect.head == Effect::kNoHead;
  }
  switch (effect.kind) {
    case Effect::kKeep:
      if (effect.head != Effect::kNoHead) {
        TellHeadType(effect.head == Effect::kKnownHead, effect.head_name, output.Position(), state,
                     telling);
      }
      output.WriteLine(content, breaks);
      return true;
    case Effect::kReplace:
      output.WriteLine(effect.line, 1);
      state.tally.replaced += content != effect.line ? 1u : 0u;
      if (telling.watcher != nullptr) telling.watcher->Changed(telling.line, content, effect.line);
      return true;
    case Effect::kRewrite:
      output.WriteNumberedLine(effect.key, effect.line, effect.number);
      ++state.tally.rescaled;
      if (telling.watcher != nullptr) {
        TellRewrite(telling, content, effect.key, effect.line, effect.number);
      }
      return true;
    case Effect::kOutOfRange:
      break;
  }
  return false;
}

// Converts the simple lines that the splitter finds where it passes lines,
// without their being delivered one by one.
class Converter : public LineTaker {
 public:
  Converter(PieceState& state, OutputStream& output, Messages& messages, ChangeWatcher* watcher,
            uint64_t* working)
      : state_(state),
        output_(output),
        telling_{messages, output.Position(), watcher, *working},
        working_(working) {}

  bool Take(std::string_view content, uint64_t breaks, uint64_t number) override {
    *working_ = number;
    bool taken = WriteConverted(content, breaks, state_, output_, telling_);
    *working_ = 0;  // the splitter reads on
    return taken;
  }

  // Converts a line the splitter delivered; false when the run must stop.
  bool Convert(const Line& line) {
    *working_ = line.number;
    return WriteConverted(line.content, line.breaks, state_, output_, telling_);
  }

 private:
  PieceState& state_;
  OutputStream& output_;
  Telling telling_;
  uint64_t* working_;
};

// The line loop. *working is the number of the line the rules have in hand,
// 0 while the splitter reads.
Outcome ConvertLines(LineSplitter& splitter, PieceState& state, OutputStream& output,
                     Messages& messages, ChangeWatcher* watcher, uint64_t* working) {
  Converter converter(state, output, messages, watcher, working);
  const uint64_t start = output.Position();
  uint64_t confirmed = output.Confirmed();
  Line line;
  while (!splitter.AtEnd()) {
    *working = 0;
    LineSplitter::Result got = splitter.Next(&line, output, &converter);
    // The messages of lines stored are shown as the copy goes out.
    if (output.Confirmed() != confirmed) {
      confirmed = output.Confirmed();
      if (confirmed > start) messages.Stored(confirmed - start);
    }
    switch (got) {
      case LineSplitter::Result::kLine:
      case LineSplitter::Result::kPassed:
        break;
      case LineSplitter::Result::kWrongFormat:
        output.Flush();
        return {Outcome::kWrongFormat, splitter.LineNumber(), splitter.Fault()};
      case LineSplitter::Result::kReadFailed:
        output.Flush();
        return {Outcome::kReadFailed};
    }
    if (output.Failed()) return {Outcome::kWriteFailed};
    if (got == LineSplitter::Result::kPassed) continue;
    if (!converter.Convert(line)) {
      output.Flush();
      return {Outcome::kOutOfRange, line.number};
    }
  }
  if (!output.Flush()) return {Outcome::kWriteFailed};
  return {Outcome::kComplete};
}

}  // namespace

Outcome ConvertOnOneThread(ByteSource& in, ByteSink& out, Console& console, size_t block,
                           SplitMode mode, ChangeWatcher* watcher) {
  // A line longer than the memory can hold (an endless one from a pipe, or
  // any under a memory limit) is a fault of the input, reported as one.
#if __cpp_exceptions
  try {
#endif
    TextConverter converter(in, out, block, mode);
    PieceState state;
    HeldMessages messages(console);
    Outcome outcome = converter.Convert(messages, state, watcher);
    outcome.tally = state.tally;
    return FailIfChanged(outcome, state, state.consumed, in);
#if __cpp_exceptions
  } catch (const std::bad_alloc&) {
    return {Outcome::kNoMemory, 1};
  }
#endif
}

Outcome FailIfChanged(Outcome outcome, const PieceState& last, uint64_t end, ByteSource& in) {
  bool ended_text = outcome.kind == Outcome::kComplete || outcome.kind == Outcome::kWrongFormat;
  if (ended_text && last.exhausted && !in.EndsAt(end)) {
    return {Outcome::kReadFailed};
  }
  return outcome;
}

TextConverter::TextConverter(ByteSource& in, ByteSink& out, size_t block, SplitMode mode,
                             size_t most_held)
    : input_(in), splitter_(input_, block, kRuleKeys, mode), output_(out, WriteBlockSize(block)) {
  splitter_.LimitHeld(most_held);
}

Outcome TextConverter::Convert(Messages& messages, PieceState& state, ChangeWatcher* watcher) {
  input_.Restart();
  splitter_.Restart();
  uint64_t working = 0;
  // Whatever else the sink stored before, and whatever it stores of this
  // text in the end, the messages of the lines it stored are shown.
  const uint64_t stored_before = output_.Stored();
  auto show_stored = [&] { messages.Stored(output_.Stored() - stored_before); };
  // A build without exceptions (the browser page's) ends where memory runs
  // out: it cannot unwind.
#if __cpp_exceptions
  try {
#endif
    Outcome outcome = ConvertLines(splitter_, state, output_, messages, watcher, &working);
    show_stored();
    state.tally.lines = splitter_.LineNumber() - 1;
    state.tally.starts_with_bom = input_.StartsWithBom();
    state.marked = input_.Marked();
    state.exhausted = input_.Exhausted();
    state.consumed = input_.Consumed();
    return outcome;
#if __cpp_exceptions
  } catch (const std::bad_alloc&) {
    // The lines before stay in the copy, as after any other fault.
    output_.Flush();
    show_stored();
    return {Outcome::kNoMemory, working != 0 ? working : splitter_.LineNumber()};
  }
#endif
}

}  // namespace quillmar
