// The conversion loop.
#include "app/convert.h"

#include <new>
#include <string>

#include "rules/head_type.h"
#include "rules/override.h"
#include "rules/rescale.h"
#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {
namespace {

// The lines a rule may act on. The splitter passes the others straight
// through, unseen, which is most of the work saved.
constexpr std::string_view kRuleKeys[] = {kHeadTypeKey, kRescaleKey, kOverrideKey};

// The line loop. *working is the number of the line the rules have in hand,
// 0 while the splitter reads.
Outcome ConvertLines(LineSplitter& splitter, OutputStream& output, std::ostream& console,
                     uint64_t* working) {
  ScaleClass scale = ScaleClass::Xaar500;
  std::string rewritten;  // a line a rule has changed

  Line line;
  while (!splitter.AtEnd()) {
    *working = 0;
    switch (splitter.Next(&line)) {
      case LineSplitter::Result::kLine:
        break;
      case LineSplitter::Result::kWrongFormat:
        output.Flush();
        return {Outcome::kWrongFormat};
      case LineSplitter::Result::kReadFailed:
        output.Flush();
        return {Outcome::kReadFailed};
    }
    if (!output.WriteAsIs(line.passed)) return {Outcome::kWriteFailed};
    if (line.breaks == 0) continue;  // nothing but lines passed
    *working = line.number;

    // The three rules' keys exclude one another, so at most one applies.
    if (std::optional<HeadType> head = DetectHeadType(line.content)) {
      scale = head->scale;
      if (head->name.empty()) {
        console << "Error: Headtype not found - Xaar500 value is used..\n";
      } else {
        console << "Detecting head type: " << head->name << "\n";
      }
    } else if (IsOverridden(line.content)) {
      line.content = kForcedLine;
      line.breaks = 1;
    } else {
      switch (Rescale(line.content, scale, &rewritten)) {
        case Rescaled::kNoMatch:
          break;
        case Rescaled::kRewritten:
          line.content = rewritten;
          line.breaks = 1;
          break;
        case Rescaled::kOutOfRange:
          output.Flush();
          return {Outcome::kOutOfRange, line.number};
      }
    }

    if (!output.WriteLine(line.content, line.breaks)) return {Outcome::kWriteFailed};
  }
  if (!output.Flush()) return {Outcome::kWriteFailed};
  return {Outcome::kComplete};
}

}  // namespace

Outcome Convert(ByteSource& in, ByteSink& out, std::ostream& console, size_t block) {
  // A line longer than the memory can hold (an endless one from a pipe, or
  // any under a memory limit) is a fault of the input, reported as one.
  try {
    InputStream input(in);
    LineSplitter splitter(input, block, kRuleKeys);
    OutputStream output(out, block);
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
