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
  return {Effect::kKeep, {}, head};
}

Effect ApplyRescale(std::string_view content, RuleState& state) {
  switch (Rescale(content, state.family, &state.rewritten)) {
    case Rescaled::kNoMatch:
      break;
    case Rescaled::kRewritten:
      return {Effect::kReplace, state.rewritten, std::nullopt};
    case Rescaled::kOutOfRange:
      return {Effect::kOutOfRange, {}, std::nullopt};
  }
  return {};
}

Effect ApplyOverride(std::string_view content, RuleState& /*state*/) {
  if (!HasKey(content, kOverrideKey)) return {};
  return {Effect::kReplace, kForcedLine, std::nullopt};
}

namespace {

// Applies rule I if the line begins with its key; false when the run must
// stop. A template, so that each rule's call is direct and can be inlined:
// this runs for every line the splitter delivers.
template <size_t I>
bool ApplyOne(std::string_view& content, RuleState& state, Effect& result) {
  constexpr Rule kRule = kRules[I];
  if (!HasKey(content, kRule.key)) return true;
  Effect effect = kRule.apply(content, state);
  if (effect.kind == Effect::kOutOfRange) {
    result = effect;
    return false;
  }
  if (effect.head) result.head = effect.head;
  if (effect.kind == Effect::kReplace) {
    result.kind = Effect::kReplace;
    result.line = content = effect.line;
  }
  return true;
}

}  // namespace

Effect ApplyRules(std::string_view content, RuleState& state) {
  Effect result;
  [&]<size_t... I>(std::index_sequence<I...>) {
    (ApplyOne<I>(content, state, result) && ...);
  }(std::make_index_sequence<std::size(kRules)>());
  return result;
}

}  // namespace quillmar
