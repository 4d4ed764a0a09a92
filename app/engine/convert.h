// The conversion loop: every line through the rules, in their order, and out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/engine/console.h"
#include "app/engine/messages.h"
#include "app/engine/outcome.h"
#include "rules/rules.h"
#include "textio/byte_io.h"
#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {

// Writes go in blocks this many times larger than reads: fewer system
// calls, while the read buffer stays small enough for the level-2 cache.
constexpr size_t WriteBlockSize(size_t read_block) { return 4 * read_block; }

// Converts the text of `in` into `out` on this thread, reporting the head
// types found on `console`, each once its line is stored. The last bytes
// reach `out` before it returns; closing is the caller's. Running out of
// memory (a line too long to hold) ends the conversion with kNoMemory
// rather than an exception. `block` sets the size of reads and writes;
// tests make it small to reach the edges of buffers. `mode` chooses how
// lines are found; both ways give the same result. A `watcher`, if given,
// is told of every change.
Outcome ConvertOnOneThread(ByteSource& in, ByteSink& out, Console& console, size_t block,
                           SplitMode mode, ChangeWatcher* watcher = nullptr);

// What converting a piece of a text starts from and leaves.
struct PieceState {
  RuleState rules;  // in force at its start, perhaps a guess; at its end
  // A piece converted apart from the text before it starts on a guess of
  // the family: whether the family is still that guess (no head type line
  // came yet), and whether a line's result depended on it.
  bool guessed = false;
  bool guess_used = false;
  Tally tally;             // its lines, once converted whole
  bool marked = false;     // whether a 0x1A byte ended the text in it
  bool exhausted = false;  // whether the data ran out, with no 0x1A byte
  uint64_t consumed = 0;   // the bytes read from the source for it
};

// A conversion that ran out of data at byte `end` read the whole file only
// if the file ended there when it was opened and still does. The copy of a
// file cut short or grown under the run is a copy of neither version, so
// reading it has failed, whether the text seemed complete or its last line
// seemed to lack its break.
Outcome FailIfChanged(Outcome outcome, const PieceState& last, uint64_t end, ByteSource& in);

// The one-thread conversion's work, kept to convert one text after another
// that the source serves, each a piece of a larger text, into the sink.
// Line numbers count from each piece's start.
class TextConverter {
 public:
  // A line that needs more than `most_held` bytes ends the conversion as
  // if memory had run out.
  TextConverter(ByteSource& in, ByteSink& out, size_t block, SplitMode mode,
                size_t most_held = SIZE_MAX);
  // The last bytes reach the sink before it returns, and the messages of
  // the lines stored are told that they are.
  Outcome Convert(Messages& messages, PieceState& state, ChangeWatcher* watcher = nullptr);

 private:
  InputStream input_;
  LineSplitter splitter_;
  OutputStream output_;
};

}  // namespace quillmar
