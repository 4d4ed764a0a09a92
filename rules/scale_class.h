// The head families, each with the factor that rescales key group 4162.
#pragma once

#include <bit>

namespace quillmar {

enum class ScaleClass { Hp = 1, Xaar128 = 2, Xaar500 = 3 };

// A family without a factor below is a compile error, not a silent zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"

// The factors as single-precision bit patterns, so that no compiler reads
// them differently.
constexpr float Factor(ScaleClass family) {
  switch (family) {
    case ScaleClass::Hp:
      return std::bit_cast<float>(0x40C80067u);  // 6.250049
    case ScaleClass::Xaar128:
      return std::bit_cast<float>(0x3FF7058Au);  // 1.9298565
    case ScaleClass::Xaar500:
      return std::bit_cast<float>(0x3FF0306Bu);  // 1.8764776
  }
  return 0.0f;  // not reached: the switch names every family
}

#pragma GCC diagnostic pop

}  // namespace quillmar
