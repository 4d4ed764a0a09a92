// What a conversion met and how it ended, and what is told of its changes
// as they are made: all that a report on a conversion reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rules/scale_class.h"
#include "textio/line_splitter.h"

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

}  // namespace quillmar
