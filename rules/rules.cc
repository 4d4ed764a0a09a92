// The three rules as entries of the table, and the order they apply in.
#include "rules/rules.h"

#include <iterator>

#include "rules/key.h"

namespace quillmar {

Effect ApplyHeadType(std::string_view content, RuleState& state) {
  std::optional<HeadType> head = DetectHeadType(content);
  if (!head) return {};
  // An unknown name puts Xaar500 in force, whatever came before.
  state.family = head->family.value_or(ScaleClass::Xaar500);
  Effect effect;
  effect.head = head->family ? Effect::kKnownHead : Effect::kUnknownHead;
  effect.head_name = head->name;
  return effect;
}

Effect ApplyRescale(std::string_view content, RuleState& state) {
  Rescaled r = Rescale(content, state.family);
  switch (r.kind) {
    case Rescaled::kNoMatch:
      break;
    case Rescaled::kRewritten: {
      Effect effect;
      effect.kind = Effect::kRewrite;
      effect.key = kRescaledKey;
      effect.line = r.rest;
      effect.number = r.number;
      effect.used_family = true;
      return effect;
    }
    case Rescaled::kOutOfRange: {
      Effect effect;
      effect.kind = Effect::kOutOfRange;
      effect.used_family = true;
      return effect;
    }
  }
  return {};
}

Effect ApplyOverride(std::string_view content, RuleState& /*state*/) {
  if (!HasKey(content, kOverrideKey)) return {};
  Effect effect;
  effect.kind = Effect::kReplace;
  effect.line = kForcedLine;
  return effect;
}

namespace {

// The effect of the first rule from rule I on whose key the line begins
// with. A template, so that each rule's call is direct and can be inlined,
// and each effect is made in place, never copied: this runs for every line
// the splitter delivers.
template <size_t I>
Effect ApplyFrom(std::string_view content, RuleState& state) {
  if constexpr (I == std::size(kRules)) {
    return {};
  } else {
    constexpr Rule kRule = kRules[I];
    if (HasKey(content, kRule.key)) return kRule.apply(content, state);
    return ApplyFrom<I + 1>(content, state);
  }
}

}  // namespace

Effect ApplyRules(std::string_view content, RuleState& state) {
  return ApplyFrom<0>(content, state);
}

}  // namespace quillmar
