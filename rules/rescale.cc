// The rescaling of key group 4162. The arithmetic is pinned down to the bit:
// technicians compare the results to the unit, so the value is read as a
// double, narrowed to float, multiplied in float (one rounding), and only
// then rounded half up to a whole number.
#include "rules/rescale.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace quillmar {
namespace {

constexpr std::string_view kKey = "4162-";

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

  double value = 0;
  if (!number.empty() && number.size() <= 18 &&
      number.find_first_not_of("0123456789") == std::string_view::npos) {
    // Integers this short convert exactly and quickly by hand.
    uint64_t n = 0;
    for (char c : number) n = n * 10 + static_cast<uint64_t>(c - '0');
    value = static_cast<double>(n);
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

}  // namespace

std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale) {
  float value = static_cast<float>(ParseValue(value_text));
  float product = value * kFactors[static_cast<size_t>(scale)];
  double rounded = std::floor(static_cast<double>(product) + 0.5);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<int32_t>(rounded);
}

Rescaled Rescale(std::string_view content, ScaleClass scale, std::string* out) {
  if (!content.starts_with(kKey)) return Rescaled::kNoMatch;
  size_t eq = kKey.size();
  while (eq < content.size() && IsDigit(content[eq])) ++eq;
  if (eq == content.size() || content[eq] != '=') return Rescaled::kNoMatch;

  // The value text is the byte after "=", whatever it is, and the digits that
  // follow it; the rest of the line is dropped. At the end of the content the
  // byte after "=" is the line break, which reads as 0.
  size_t cut = eq + 1;
  size_t end = cut < content.size() ? cut + 1 : cut;
  while (end < content.size() && IsDigit(content[end])) ++end;
  std::optional<int32_t> value = ScaleValue(content.substr(cut, end - cut), scale);
  if (!value) return Rescaled::kOutOfRange;

  out->assign(content.substr(0, cut));
  (*out)[2] = '7';
  char digits[16];
  auto [ptr, ec] = std::to_chars(digits, digits + sizeof digits, *value);
  out->append(digits, ptr);
  return Rescaled::kRewritten;
}

}  // namespace quillmar
