// The rescaling of key group 4162. The arithmetic is pinned down to the bit:
// technicians compare the results to the unit, so the value is read as a
// double, narrowed to float, multiplied in float (one rounding), and only
// then rounded half up to a whole number.
#include "rules/rescale.h"

#include <cfloat>
#include <charconv>
#include <limits>

#include "rules/key.h"

// A compiler that evaluates float expressions in a wider type (the x87 unit
// of a 32-bit x86 build without SSE2) rounds the product differently, off by
// one in thousands of lines: better no program than a wrong one.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "float arithmetic must be evaluated in float: build 32-bit x86 with -msse2 -mfpmath=sse"
#endif

namespace quillmar {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a value text, its first byte and the digits after it, as the C
// library's strtod reads it in the "C" locale: given how the text is built,
// the forms are digits, a sign or one white-space byte and digits, and a
// point and digits; anything else, and a text without digits, is 0.
double ParseValue(std::string_view text) {
  if (text.empty()) return 0;
  char first = text[0];
  std::string_view digits = text.substr(1);
  bool negative = false;
  if (IsDigit(first) || first == '.') {
    digits = text;  // a point makes it a fraction: the library's conversion below
  } else if (first == '-' || first == '+') {
    negative = first == '-';
  } else if (!IsSpace(first)) {
    return 0;
  }
  if (digits.empty()) return 0;

  double value = 0;
  if (digits.size() <= 18 && digits[0] != '.') {
    // Integers this short convert exactly and quickly by hand.
    uint64_t n = 0;
    for (char c : digits) n = n * 10 + static_cast<uint64_t>(c - '0');
    value = static_cast<double>(n);
  } else {
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                     std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
      // Too many integer digits overflow; a long fraction only underflows.
      value = digits[0] == '.' ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
      value = 0;  // a point alone
    }
  }
  return negative ? -value : value;
}

// The value scaled in single precision and rounded half up; nothing if the
// result does not fit 32 bits.
std::optional<int32_t> ScaleAndRound(float value, ScaleClass scale) {
  float product = value * Factor(scale);
  // Half up: the floor of x + 0.5. It fits 32 bits only for x + 0.5 in
  // [-2^31, 2^31), where truncating and stepping down below zero is the
  // floor, without a call to the library's.
  double half_up = static_cast<double>(product) + 0.5;
  if (!(half_up >= -2147483648.0 && half_up < 2147483648.0)) return std::nullopt;
  auto whole = static_cast<int64_t>(half_up);
  whole -= static_cast<double>(whole) > half_up ? 1 : 0;
  return static_cast<int32_t>(whole);
}

}  // namespace

std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale) {
  return ScaleAndRound(static_cast<float>(ParseValue(value_text)), scale);
}

// Hot: a change here is measured with bench/run.sh.
Rescaled Rescale(std::string_view content, ScaleClass scale) {
  if (!HasKey(content, kRescaleKey)) return {};
  const char* const begin = content.data();
  const char* const end = begin + content.size();
  const char* p = begin + kRescaleKey.size();
  while (p < end && IsDigit(*p)) ++p;
  if (p == end || *p != '=') return {};

  // The value text is the byte after "=", whatever it is, and the digits that
  // follow it; the rest of the line is dropped. At the end of the content the
  // byte after "=" is the line break, which reads as 0.
  const char* const cut = p + 1;
  // The common forms, digits with or without a minus, nine at most, are
  // read as they are scanned, exactly: their integer converts to float as
  // it would through double, which holds it exactly. ParseValue reads the
  // others.
  const char* const digits = cut < end && *cut == '-' ? cut + 1 : cut;
  const char* q = digits;
  uint32_t n = 0;
  while (q < end && IsDigit(*q) && q - digits < 9) {
    n = n * 10 + static_cast<uint32_t>(*q - '0');
    ++q;
  }
  float number;
  if (q > digits && (q == end || !IsDigit(*q))) {
    number = static_cast<float>(digits != cut ? -int64_t{n} : int64_t{n});
  } else {
    const char* value_end = cut < end ? cut + 1 : cut;
    while (value_end < end && IsDigit(*value_end)) ++value_end;
    number =
        static_cast<float>(ParseValue(std::string_view(cut, static_cast<size_t>(value_end - cut))));
  }
  std::optional<int32_t> value = ScaleAndRound(number, scale);
  Rescaled result;
  if (!value) {
    result.kind = Rescaled::kOutOfRange;
    return result;
  }
  const char* const rest = begin + kRescaleKey.size();
  result.kind = Rescaled::kRewritten;
  result.rest = std::string_view(rest, static_cast<size_t>(cut - rest));
  result.number = *value;
  return result;
}

}  // namespace quillmar
