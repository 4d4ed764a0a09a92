// Reads the head type line (key 1000-4) to learn the head family.
#pragma once

#include <optional>
#include <string_view>

#include "rules/scale_class.h"

namespace quillmar {

// The key of the head type line.
inline constexpr std::string_view kHeadTypeKey = "1000-4=";

struct HeadType {
  std::string_view name;             // the whole rest of the line
  std::optional<ScaleClass> family;  // nothing when the name is not known
};

// Nothing unless the line is a head type line.
std::optional<HeadType> DetectHeadType(std::string_view content);

}  // namespace quillmar
