// The conversion loop.
#include "app/convert.h"

#include <new>

#include "rules/rules.h"
#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {
namespace {

// The line loop. *working is the number of the line the rules have in hand,
// 0 while the splitter reads.
Outcome ConvertLines(LineSplitter& splitter, OutputStream& output, std::ostream& console,
                     uint64_t* working) {
  RuleState rules;
  Line line;
  while (!splitter.AtEnd()) {
    *working = 0;
    LineSplitter::Result got = splitter.Next(&line, output);
    switch (got) {
      case LineSplitter::Result::kLine:
      case LineSplitter::Result::kPassed:
        break;
      case LineSplitter::Result::kWrongFormat:
        output.Flush();
        return {Outcome::kWrongFormat};
      case LineSplitter::Result::kReadFailed:
        output.Flush();
        return {Outcome::kReadFailed};
    }
    if (output.Failed()) return {Outcome::kWriteFailed};
    if (got == LineSplitter::Result::kPassed) continue;
    *working = line.number;

    Effect effect = ApplyRules(line.content, rules);
    if (effect.head) {
      if (effect.head->family) {
        console << "Detecting head type: " << effect.head->name << "\n";
      } else {
        console << "Error: Headtype not found - Xaar500 value is used..\n";
      }
    }
    switch (effect.kind) {
      case Effect::kKeep:
        break;
      case Effect::kReplace:
        line.content = effect.line;
        line.breaks = 1;
        break;
      case Effect::kRewrite:
        if (!output.WriteNumberedLine(effect.key, effect.line, effect.number)) {
          return {Outcome::kWriteFailed};
        }
        continue;
      case Effect::kOutOfRange:
        output.Flush();
        return {Outcome::kOutOfRange, line.number};
    }
    if (!output.WriteLine(line.content, line.breaks)) return {Outcome::kWriteFailed};
  }
  if (!output.Flush()) return {Outcome::kWriteFailed};
  return {Outcome::kComplete};
}

}  // namespace

Outcome Convert(ByteSource& in, ByteSink& out, std::ostream& console, size_t block,
                SplitMode mode) {
  // A line longer than the memory can hold (an endless one from a pipe, or
  // any under a memory limit) is a fault of the input, reported as one.
  try {
    InputStream input(in);
    LineSplitter splitter(input, block, kRuleKeys, mode);
    // Writes go in larger blocks than reads: fewer system calls, while the
    // read buffer stays small enough for the level-2 cache.
    OutputStream output(out, 4 * block);
    uint64_t working = 0;
    try {
      return ConvertLines(splitter, output, console, &working);
    } catch (const std::bad_alloc&) {
      // The lines before stay in the copy, as after any other fault.
      output.Flush();
      return {Outcome::kNoMemory, working != 0 ? working : splitter.LineNumber()};
    }
  } catch (const std::bad_alloc&) {
    return {Outcome::kNoMemory, 1};
  }
}

}  // namespace quillmar
