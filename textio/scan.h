// The byte classes of the text and the scanner that finds the bytes that
// end plain content. The scanner runs over nearly every byte of the input.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmar {

// A byte that may not follow another byte in a line's content: NUL to 0x08
// and 0xFF. The first content byte of a line is exempt.
inline bool IsRejected(unsigned char c) { return static_cast<unsigned char>(c + 1) < 10; }

// Whether the byte ends plain content: LF, CR, or a rejected byte.
inline bool IsSpecial(unsigned char c) { return c == '\n' || c == '\r' || IsRejected(c); }

// The first special byte in [p, end), or end, eight bytes at a time: the
// portable scanner, for any CPU. A word whose bytes are all 0x0E to 0xFE
// holds none.
inline const char* FindSpecialPortable(const char* p, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  while (end - p >= 8) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    // A borrow can flag a byte beside a real one; the first flagged byte is
    // real on a little-endian machine, and any byte is checked before it is
    // taken, so a false flag costs only time.
    uint64_t flags = (((x - kOnes * 0x0E) & ~x) | ((~x - kOnes) & x)) & kHighs;
    if (flags == 0) {
      p += 8;
      continue;
    }
    p += (std::endian::native == std::endian::little ? std::countr_zero(flags)
                                                     : std::countl_zero(flags)) /
         8;
    if (IsSpecial(static_cast<unsigned char>(*p))) return p;
    ++p;  // a tab, VT or FF, or a false flag
  }
  while (p < end && !IsSpecial(static_cast<unsigned char>(*p))) ++p;
  return p;
}

#if defined(__SSE2__)
// One bit for each special byte of the 16 at p, the first byte lowest.
inline unsigned SpecialMask16(const char* p) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i lf = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
  __m128i cr = _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'));
  // NUL to 0x08 and 0xFF are the bytes that, plus one, are below 10.
  __m128i up = _mm_add_epi8(v, _mm_set1_epi8(1));
  __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(up, _mm_set1_epi8(9)), up);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(lf, cr), low)));
}
#endif

// Bit i of each mask tells of byte i of 64: whether it is an LF, a CR, a
// rejected byte.
struct ByteMasks {
  uint64_t lf = 0, cr = 0, rejected = 0;
};

// The masks of the 64 bytes at p, one byte at a time: for any CPU.
inline ByteMasks MasksOf64Portable(const char* p) {
  ByteMasks m;
  for (unsigned i = 0; i < 64; ++i) {
    auto c = static_cast<unsigned char>(p[i]);
    m.lf |= uint64_t{c == '\n' ? 1u : 0u} << i;
    m.cr |= uint64_t{c == '\r' ? 1u : 0u} << i;
    m.rejected |= uint64_t{IsRejected(c) ? 1u : 0u} << i;
  }
  return m;
}

// The masks of the 64 bytes at p. Hot: a change here is measured with
// bench/run.sh.
inline ByteMasks MasksOf64(const char* p) {
#if defined(__SSE2__)
  ByteMasks m;
  auto bits = [](__m128i x) { return uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(x))}; };
  __m128i low[4];
  __m128i any_low = _mm_setzero_si128();
  for (size_t i = 0; i < 4; ++i) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    __m128i up = _mm_add_epi8(v, _mm_set1_epi8(1));
    low[i] = _mm_cmpeq_epi8(_mm_min_epu8(up, _mm_set1_epi8(9)), up);
    any_low = _mm_or_si128(any_low, low[i]);
    m.lf |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))) << (16 * i);
    m.cr |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))) << (16 * i);
  }
  // Rejected bytes are rare: their mask is made only where there are some.
  if (_mm_movemask_epi8(any_low) != 0) {
    for (size_t i = 0; i < 4; ++i) m.rejected |= bits(low[i]) << (16 * i);
  }
  return m;
#else
  return MasksOf64Portable(p);
#endif
}

// The first special byte in [p, end), or end: the same as testing one byte
// at a time. Every x86-64 CPU has SSE2, so no dispatch at run time; other
// CPUs take the portable scanner. Hot: a change here is measured with
// bench/run.sh.
inline const char* FindSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
  while (end - p >= 16) {
    if (unsigned mask = SpecialMask16(p)) return p + std::countr_zero(mask);
    p += 16;
  }
#endif
  return FindSpecialPortable(p, end);
}

}  // namespace quillmar
