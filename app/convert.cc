// The conversion loop.
#include "app/convert.h"

#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {

Outcome Convert(ByteSource& in, ByteSink& out, std::ostream& /*console*/) {
  InputStream input(in);
  LineSplitter splitter(input);
  OutputStream output(out);

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
    if (!output.WriteLine(line.content, line.breaks)) return {Outcome::kWriteFailed};
  }
  if (!output.Flush()) return {Outcome::kWriteFailed};
  return {Outcome::kComplete};
}

}  // namespace quillmar
