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

// Digits, with a point before them or without, as the nearest double:
// infinity past the largest, 0 below the smallest, and 0 for a point
// alone. Read with std::from_chars where the C++ library has it for
// double, else with DigitsByStrtod.
double ReadDigits(std::string_view digits);
// The C library's reading of the same, for a C++ library without that
// std::from_chars (the browser page's). Both must give the same double.
double DigitsByStrtod(std::string_view digits);

}  // namespace quillmar
