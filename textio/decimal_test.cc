#include "textio/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace quillmar {
namespace {

TEST(DecimalTest, BothWaysWriteWhatToStringWrites) {
  auto check = [](int32_t v) {
    std::string want = std::to_string(v);
    char slow[kLongestDecimal], fast[16];
    WriteDecimal(v, slow);
    ASSERT_EQ(std::string(slow, DecimalLength(v)), want);
    ASSERT_EQ(std::string(fast, WriteDecimalFast(v, fast)), want);
  };
  // Every length and its edges, both signs, and a sweep across the range.
  for (int64_t power = 1; power <= 10000000000; power *= 10) {
    for (int64_t v : {power - 1, power, power + 1, -power + 1, -power, -power - 1}) {
      if (v >= INT32_MIN && v <= INT32_MAX) check(static_cast<int32_t>(v));
    }
  }
  check(std::numeric_limits<int32_t>::min());
  check(std::numeric_limits<int32_t>::max());
  for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 7919) check(static_cast<int32_t>(v));
  for (int32_t v = -100000; v <= 100000; ++v) check(v);
}

}  // namespace
}  // namespace quillmar
