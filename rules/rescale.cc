// The rescaling of key group 4162. The arithmetic is pinned down to the bit:
// technicians compare the results to the unit, so the value is read as a
// double, narrowed to float, multiplied in float (one rounding), and only
// then rounded half up to a whole number.
#include "rules/rescale.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

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

}  // namespace

double ReadDigits(std::string_view digits) {
#if __cpp_lib_to_chars >= 201611L
  double value = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                   std::chars_format::fixed);
  if (ec == std::errc::result_out_of_range) {
    // Too many integer digits overflow; a long fraction only underflows.
    return digits[0] == '.' ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return ec == std::errc() ? value : 0;  // 0 for a point alone
#else
  return DigitsByStrtod(digits);
#endif
}

double DigitsByStrtod(std::string_view digits) {
  // The "C" locale's point: the program never sets another.
  std::string text(digits);
  return std::strtod(text.c_str(), nullptr);
}

namespace {

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
    value = ReadDigits(digits);
  }
  return negative ? -value : value;
}

// Half up: the floor of x + 0.5, for x + 0.5 in [-2^31, 2^31), where
// truncating and stepping down below zero is the floor, without a call to
// the library's.
int32_t FloorOf(double half_up) {
  auto whole = static_cast<int64_t>(half_up);
  whole -= static_cast<double>(whole) > half_up ? 1 : 0;
  return static_cast<int32_t>(whole);
}

// The value scaled in single precision and rounded half up; nothing if the
// result does not fit 32 bits.
std::optional<int32_t> ScaleAndRound(float value, ScaleClass scale) {
  double half_up = static_cast<double>(value * Factor(scale)) + 0.5;
  if (!(half_up >= -2147483648.0 && half_up < 2147483648.0)) return std::nullopt;
  return FloorOf(half_up);
}

}  // namespace

std::optional<int32_t> ScaleValue(std::string_view value_text, ScaleClass scale) {
  return ScaleAndRound(static_cast<float>(ParseValue(value_text)), scale);
}

namespace {

// The line's index and value when the line is short, its value whole digits,
// and the CPU little-endian: the bytes after the key are read as one word,
// with no branch on their lengths. Nothing for any other line: the byte-
// at-a-time reader below takes it, and gives the same for these.
struct ShortRest {
  size_t cut;  // where the value text begins: just after "="
  int32_t value;
};

std::optional<ShortRest> ReadShortRest(std::string_view content) {
  if constexpr (std::endian::native != std::endian::little) {
    return std::nullopt;
  } else {
    constexpr size_t kKey = kRescaleKey.size();
    constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
    size_t n = content.size();
    if (n < 8 || n > kKey + 8) return std::nullopt;
    // The line's last eight bytes, shifted so that the first byte after the
    // key is lowest and zero bytes follow the line's last.
    uint64_t word;
    std::memcpy(&word, content.data() + n - 8, 8);
    word >>= 8 * (kKey + 8 - n);
    // One high bit per byte, each byte on its own: no carry crosses bytes.
    auto digits = [](uint64_t x) {
      uint64_t low7 = x & ~kHighs;
      return (low7 + kOnes * 0x50) & ~(low7 + kOnes * 0x46) & ~x & kHighs;
    };
    // The index is digits up to the first other byte, which must be "=".
    uint64_t others = ~digits(word) & kHighs;
    if (others == 0) return std::nullopt;  // digits to the end: no "="
    auto eq = static_cast<unsigned>(std::countr_zero(others)) / 8;
    if (((word >> (8 * eq)) & 0xFF) != '=') return std::nullopt;
    uint64_t value = word >> (8 * eq) >> 8;
    bool negative = (value & 0xFF) == '-';
    value >>= negative ? 8 : 0;
    // So do the value's, seven at most.
    auto count = static_cast<unsigned>(std::countr_zero(~digits(value) & kHighs)) / 8;
    if (count == 0) return std::nullopt;
    // No byte of the digits borrows, and the bytes above them go.
    uint64_t x = (value - kOnes * '0') & ((uint64_t{1} << (8 * count)) - 1);
    // Eight digit values, the first highest, then pairs, fours, all eight.
    x <<= 8 * (8 - count);
    x = x * 10 + (x >> 8);
    x = (((x & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
         (((x >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
        32;
    auto whole = static_cast<int32_t>(x);
    return ShortRest{kKey + eq + 1, negative ? -whole : whole};
  }
}

}  // namespace

// Hot: a change here is measured with bench/run.sh.
Rescaled Rescale(std::string_view content, ScaleClass scale) {
  if (!HasKey(content, kRescaleKey)) return {};
  std::optional<ShortRest> rest = ReadShortRest(content);
  if (!rest) return RescaleBytes(content, scale);
  // Seven digits at most, times a factor below 7: always in range.
  static_assert(Factor(ScaleClass::Hp) < 7 && Factor(ScaleClass::Xaar128) < 7 &&
                Factor(ScaleClass::Xaar500) < 7);
  Rescaled result;
  result.kind = Rescaled::kRewritten;
  result.rest = content.substr(kRescaleKey.size(), rest->cut - kRescaleKey.size());
  result.number =
      FloorOf(static_cast<double>(static_cast<float>(rest->value) * Factor(scale)) + 0.5);
  return result;
}

Rescaled RescaleBytes(std::string_view content, ScaleClass scale) {
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
