// The conversion loop: every line through the rules, in their order, and out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/console.h"
#include "rules/rules.h"
#include "textio/byte_io.h"
#include "textio/input_stream.h"
#include "textio/line_splitter.h"
#include "textio/output_stream.h"

namespace quillmar {

// What a conversion met, for a report on it: a copy that completed may
// still deserve a look.
struct Tally {
  uint64_t lines = 0;          // converted
  uint64_t rescaled = 0;       // 4162 lines rewritten
  uint64_t replaced = 0;       // 9040-1 lines forced that did not read False
  uint64_t known_heads = 0;    // head type lines that named a known head
  uint64_t unknown_heads = 0;  // and those that named none
  // The first head type line (0: none), the 4162 lines rescaled before it,
  // the family it named (nothing if none), and its name.
  uint64_t first_head = 0;
  uint64_t rescaled_before_head = 0;
  std::optional<ScaleClass> first_family;
  std::string first_name;
  std::string unknown_name;  // the first head type that is not known
  bool starts_with_bom = false;

  // Lines whose text the conversion changed.
  uint64_t changed() const { return rescaled + replaced; }
  // Adds the tally of the lines that follow.
  Tally& operator+=(const Tally& more);
  bool operator==(const Tally&) const = default;
};

// Head type names are kept this long at most: enough to tell them.
inline constexpr size_t kNameKept = 64;

// Told of what the rules do to the lines, as they do it, in file order: for
// a report of what changed. Lines passed on as they came are not told.
class ChangeWatcher {
 public:
  virtual ~ChangeWatcher() = default;
  // A head type line, and whether it named a known head.
  virtual void HeadType(uint64_t line, std::string_view name, bool known) = 0;
  // A line rewritten or replaced: its content before and after.
  virtual void Changed(uint64_t line, std::string_view before, std::string_view after) = 0;
};

struct Outcome {
  enum Kind { kComplete, kWrongFormat, kReadFailed, kWriteFailed, kOutOfRange, kNoMemory };
  Outcome() = default;
  Outcome(Kind k, uint64_t at = 0, FormatFault why = {})  // NOLINT: converts from a kind
      : kind(k), line(at), fault(why) {}
  Kind kind = kComplete;
  uint64_t line = 0;  // for kOutOfRange, kNoMemory and kWrongFormat: the line at fault
  FormatFault fault;  // for kWrongFormat
  Tally tally;        // of the lines converted, once complete
};

// Writes go in blocks this many times larger than reads: fewer system
// calls, while the read buffer stays small enough for the level-2 cache.
constexpr size_t WriteBlockSize(size_t read_block) { return 4 * read_block; }

// Converts the text of `in` into `out` on this thread, reporting the head
// types found on `console`. The last bytes reach `out` before it returns;
// closing is the caller's. Running out of memory (a line too long to hold)
// ends the conversion with kNoMemory rather than an exception. `block` sets
// the size of reads and writes; tests make it small to reach the edges of
// buffers. `mode` chooses how lines are found; both ways give the same
// result. A `watcher`, if given, is told of every change.
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
  // The last bytes reach the sink before it returns.
  Outcome Convert(Console& console, PieceState& state, ChangeWatcher* watcher = nullptr);

 private:
  InputStream input_;
  LineSplitter splitter_;
  OutputStream output_;
};

}  // namespace quillmar
