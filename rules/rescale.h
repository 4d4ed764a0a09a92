// Rewrites key group 4162 as 4172 with the value rescaled for the head family.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rules/scale_class.h"

namespace quillmar {

// Every key of the group begins so.
inline constexpr std::string_view kRescaleKey = "4162-";

enum class Rescaled { kNoMatch, kRewritten, kOutOfRange };

// On kRewritten, *out holds the new content of the line.
Rescaled Rescale(std::string_view content, ScaleClass scale, std::string* out);

// The value of a line's value text (its first byte, whatever it is, and the
// digits after it) scaled and rounded; nothing if the result does not fit
// 32 bits.
std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale);

}  // namespace quillmar
