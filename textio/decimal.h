// Whole numbers as decimal text, written in place: no buffer to copy from
// afterwards, and no library call.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillmar {

// The longest number: a sign and ten digits.
inline constexpr size_t kLongestDecimal = 11;

// How many bytes v takes in decimal: a "-" before a negative number, no
// leading zeros, "0" for zero.
inline size_t DecimalLength(int32_t v) {
  uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  size_t digits = 1;
  for (uint64_t limit = 10; u >= limit; limit *= 10) ++digits;
  return digits + (v < 0 ? size_t{1} : size_t{0});
}

// Writes v in decimal into the DecimalLength(v) bytes at p.
inline void WriteDecimal(int32_t v, char* p) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  if (v < 0) *p = '-';
  char* end = p + DecimalLength(v);
  while (u >= 100) {
    size_t pair = u % 100;
    u /= 100;
    end -= 2;
    std::memcpy(end, kPairs + 2 * pair, 2);
  }
  if (u >= 10) {
    std::memcpy(end - 2, kPairs + 2 * size_t{u}, 2);
  } else {
    end[-1] = static_cast<char>('0' + u);
  }
}

// Writes v in decimal at p, where 16 bytes may be written, and returns its
// length; the bytes after the number are left undefined. Numbers below
// 10^8 take no branch on their length: their eight digits are made at once
// in one word, the leading zeros shifted out, and stored together, so that
// the line's length is never guessed. Other CPUs and longer numbers take
// WriteDecimal. Hot: a change here is measured with bench/run.sh.
inline size_t WriteDecimalFast(int32_t v, char* p) {
  uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  if constexpr (std::endian::native == std::endian::little) {
    if (u < 100000000) {
      *p = '-';
      p += v < 0 ? 1 : 0;
      // Two lanes of four digits, then four of two, then eight of one: the
      // most significant digit in the lowest byte.
      uint64_t x = (u / 10000) | (uint64_t{u % 10000} << 32);
      uint64_t h = ((x * 10486) >> 20) & 0x0000007F0000007FULL;
      x = h | ((x - 100 * h) << 16);
      h = ((x * 103) >> 10) & 0x000F000F000F000FULL;
      x = h | ((x - 10 * h) << 8);
      // The leading zeros are the low zero bytes; the last digit counts
      // even when it is a zero.
      size_t digits = 8 - static_cast<size_t>(std::countr_zero(x | (uint64_t{1} << 56))) / 8;
      x = (x + 0x3030303030303030ULL) >> (8 * (8 - digits));
      std::memcpy(p, &x, 8);
      return digits + (v < 0 ? size_t{1} : size_t{0});
    }
  }
  WriteDecimal(v, p);
  return DecimalLength(v);
}

}  // namespace quillmar
