// The three rules as entries of the table, and the order they apply in.
#include "rules/rules.h"

#include <utility>

#include "rules/key.h"

namespace quillmar {

Effect ApplyHeadType(std::string_view content, RuleState& state) {
  std::optional<HeadType> head = DetectHeadType(content);
  if (!head) return {};
  // An unknown name puts Xaar500 in force, whatever came before.
  state.family = head->family.value_or(ScaleClass::Xaar500);
  Effect effect;
  effect.head = head;
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
      return effect;
    }
    case Rescaled::kOutOfRange: {
      Effect effect;
      effect.kind = Effect::kOutOfRange;
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

// Rule I's effect if the line begins with its key. A template, so that each
// rule's call is direct and can be inlined: this runs for every line the
// splitter delivers.
template <size_t I>
bool ApplyOne(std::string_view content, RuleState& state, Effect& effect) {
  constexpr Rule kRule = kRules[I];
  if (!HasKey(content, kRule.key)) return false;
  effect = kRule.apply(content, state);
  return true;
}

}  // namespace

Effect ApplyRules(std::string_view content, RuleState& state) {
  Effect effect;
  [&]<size_t... I>(std::index_sequence<I...>) { (ApplyOne<I>(content, state, effect) || ...); }
  (std::make_index_sequence<std::size(kRules)>());
  return effect;
}

}  // namespace quillmar
