// The conversion rules in one table: for each, the key a line must begin
// with and what the rule makes of such a line. Run control applies them to
// every line, in this order; the line splitter delivers every line that
// begins with one of their keys and may pass the others through unseen.
// A new rule is one entry in kRules.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "rules/head_type.h"
#include "rules/override.h"
#include "rules/rescale.h"
#include "rules/scale_class.h"

namespace quillmar {

// What the rules carry from one line to the next.
struct RuleState {
  ScaleClass family = ScaleClass::Xaar500;  // set by the head type lines
};

// What a rule made of a line. A replaced or rewritten line goes out with one
// break: the blank lines after it are lost.
struct Effect {
  enum Kind {
    kKeep,        // the line goes out as it came
    kReplace,     // `line` goes out instead
    kRewrite,     // `key`, `line` and `number` in decimal go out instead
    kOutOfRange,  // the run stops: the line's value does not fit 32 bits
  };
  Kind kind = kKeep;
  std::string_view key, line;
  int32_t number = 0;
  // What a head type line named, for the console.
  enum Head : uint8_t { kNoHead, kKnownHead, kUnknownHead };
  Head head = kNoHead;
  std::string_view head_name;
  // Whether what became of the line depends on the family in force.
  bool used_family = false;
};

struct Rule {
  std::string_view key;
  Effect (*apply)(std::string_view content, RuleState& state);
};

Effect ApplyHeadType(std::string_view content, RuleState& state);
Effect ApplyRescale(std::string_view content, RuleState& state);
Effect ApplyOverride(std::string_view content, RuleState& state);

inline constexpr Rule kRules[] = {
    {kHeadTypeKey, ApplyHeadType},
    {kRescaleKey, ApplyRescale},
    {kOverrideKey, ApplyOverride},
};

// The splitter tests a line's first eight bytes against every key at once;
// a longer key would need a slower test on every line.
static_assert(std::ranges::all_of(kRules, [](const Rule& r) { return r.key.size() <= 8; }),
              "a rule's key is at most eight bytes");
// So that one rule at most applies to a line, no key begins another.
static_assert(std::ranges::none_of(kRules,
                                   [](const Rule& a) {
                                     return std::ranges::any_of(kRules, [&](const Rule& b) {
                                       return &a != &b && b.key.starts_with(a.key);
                                     });
                                   }),
              "no rule's key begins another's");

// The keys alone, for the splitter.
inline constexpr auto kRuleKeys = [] {
  std::array<std::string_view, std::size(kRules)> keys;
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = kRules[i].key;
  return keys;
}();

// Applies the rule whose key the line begins with, if any.
Effect ApplyRules(std::string_view content, RuleState& state);

}  // namespace quillmar
