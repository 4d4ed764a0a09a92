// Key 9040-1 is always written as False, whatever the input held.
#pragma once

#include <string_view>

namespace quillmar {

inline constexpr std::string_view kOverrideKey = "9040-1=";
inline constexpr std::string_view kForcedLine = "9040-1=False";

}  // namespace quillmar
