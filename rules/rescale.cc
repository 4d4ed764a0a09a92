// The rescaling of key group 4162. The arithmetic is pinned down to the bit:
// technicians compare the results to the unit, so the value is read as a
// double, narrowed to float, multiplied in float (one rounding), and only
// then rounded half up to a whole number.
#include "rules/rescale.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>

#include "rules/key.h"

namespace quillmar {
namespace {

// Indexed by ScaleClass; given as bit patterns so no compiler reads them
// differently.
constexpr std::array<float, 4> kFactors = {
    0.0f,
    std::bit_cast<float>(0x40C80067u),  // Hp: 6.250049
    std::bit_cast<float>(0x3FF7058Au),  // Xaar128: 1.9298565
    std::bit_cast<float>(0x3FF0306Bu),  // Xaar500: 1.8764776
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the text as the C library's strtod does in the "C" locale: white
// space, a sign, then a decimal number; text without digits is 0.
double ParseValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string_view number = text.substr(i);

  // Integers this short convert exactly and quickly by hand.
  uint64_t digits = 0;
  size_t n = 0;
  for (; n < number.size() && n < 18 && IsDigit(number[n]); ++n) {
    digits = digits * 10 + static_cast<uint64_t>(number[n] - '0');
  }
  double value = 0;
  if (n > 0 && n == number.size()) {
    value = static_cast<double>(digits);
  } else {
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                     std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
      // Too many integer digits overflow; a long fraction only underflows.
      value = number.starts_with('.') ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
      value = 0;
    }
  }
  return negative ? -value : value;
}

// Sets *result to the value of the value text scaled and rounded; false if
// it does not fit 32 bits.
bool Scale(std::string_view value_text, ScaleClass scale, int32_t* result) {
  float value = static_cast<float>(ParseValue(value_text));
  float product = value * kFactors[static_cast<size_t>(scale)];
  // Half up: the floor of x + 0.5. It fits 32 bits only for x + 0.5 in
  // [-2^31, 2^31), where truncating and stepping down below zero is the
  // floor, without a call to the library's.
  double half_up = static_cast<double>(product) + 0.5;
  if (!(half_up >= -2147483648.0 && half_up < 2147483648.0)) return false;
  auto whole = static_cast<int64_t>(half_up);
  if (static_cast<double>(whole) > half_up) --whole;
  *result = static_cast<int32_t>(whole);
  return true;
}

}  // namespace

std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale) {
  int32_t result = 0;
  if (!Scale(value_text, scale, &result)) return std::nullopt;
  return result;
}
Rescaled Rescale(std::string_view content, ScaleClass scale, std::string* out) {
  if (!HasKey(content, kRescaleKey)) return Rescaled::kNoMatch;
  size_t eq = kRescaleKey.size();
  while (eq < content.size() && IsDigit(content[eq])) ++eq;
  if (eq == content.size() || content[eq] != '=') return Rescaled::kNoMatch;

  // The value text is the byte after "=", whatever it is, and the digits that
  // follow it; the rest of the line is dropped. At the end of the content the
  // byte after "=" is the line break, which reads as 0.
  size_t cut = eq + 1;
  size_t end = cut < content.size() ? cut + 1 : cut;
  while (end < content.size() && IsDigit(content[end])) ++end;
  int32_t value = 0;
  if (!Scale(content.substr(cut, end - cut), scale, &value)) return Rescaled::kOutOfRange;

  // The key, now of group 4172, then the number: at most 11 characters.
  out->resize(cut + 11);
  std::memcpy(out->data(), content.data(), cut);
  (*out)[2] = '7';
  char* digits = out->data() + cut;
  auto [ptr, ec] = std::to_chars(digits, digits + 11, value);
  out->resize(static_cast<size_t>(ptr - out->data()));
  return Rescaled::kRewritten;
}

}  // namespace quillmar
