// The conversion loop.
#include "app/convert.h"

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

}  // namespace

Outcome Convert(ByteSource& in, ByteSink& out, std::ostream& console, size_t block) {
  InputStream input(in);
  LineSplitter splitter(input, block, kRuleKeys);
  OutputStream output(out, block);
  ScaleClass scale = ScaleClass::Xaar500;
  std::string rewritten;  // a line a rule has changed

  Line line;
  while (!splitter.AtEnd()) {
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

}  // namespace quillmar
