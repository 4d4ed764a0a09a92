// The three rules as entries of the table, and the order they apply in.
#include "rules/rules.h"

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

Effect ApplyRules(std::string_view content, RuleState& state) {
  Effect result;
  for (const Rule& rule : kRules) {
    if (!HasKey(content, rule.key)) continue;
    Effect effect = rule.apply(content, state);
    if (effect.kind == Effect::kOutOfRange) return effect;
    if (effect.head) result.head = effect.head;
    if (effect.kind == Effect::kReplace) {
      result.kind = Effect::kReplace;
      result.line = content = effect.line;
    }
  }
  return result;
}

}  // namespace quillmar
