// Key 9040-1 is always written as False, whatever the input held.
#pragma once

#include <string_view>

namespace quillmar {

inline constexpr std::string_view kForcedLine = "9040-1=False";

// Whether the line is the one to replace by kForcedLine.
inline bool IsOverridden(std::string_view content) { return content.starts_with("9040-1="); }

}  // namespace quillmar
