// Rewrites key group 4162 as 4172 with the value rescaled for the head family.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "rules/scale_class.h"

namespace quillmar {

// Every key of the group begins so, and so every key of the new group.
inline constexpr std::string_view kRescaleKey = "4162-";
inline constexpr std::string_view kRescaledKey = "4172-";

// What a line of the group becomes: kRescaledKey, then `rest` (the line's
// index and "="), then `number` in decimal.
struct Rescaled {
  enum Kind { kNoMatch, kRewritten, kOutOfRange };
  Kind kind = kNoMatch;
  std::string_view rest;
  int32_t number = 0;
};

Rescaled Rescale(std::string_view content, ScaleClass scale);
// The same, reading the line one byte at a time: the way of any CPU and any
// line, and the reference that the faster reading of short lines is tested
// against.
Rescaled RescaleBytes(std::string_view content, ScaleClass scale);

// The value of a line's value text (its first byte, whatever it is, and the
// digits after it) scaled and rounded; nothing if the result does not fit
// 32 bits.
std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale);

}  // namespace quillmar
