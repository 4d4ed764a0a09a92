// Key 9040-1 is always written as False, whatever the input held.
#pragma once

#include <string_view>

#include "rules/key.h"

namespace quillmar {

inline constexpr std::string_view kOverrideKey = "9040-1=";
inline constexpr std::string_view kForcedLine = "9040-1=False";

// Whether the line is the one to replace by kForcedLine.
inline bool IsOverridden(std::string_view content) { return HasKey(content, kOverrideKey); }

}  // namespace quillmar
