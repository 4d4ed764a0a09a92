#include "textio/scan.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmar {
namespace {

// The definition: one byte at a time.
size_t FirstSpecial(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && !IsSpecial(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

// What both scanners find: the one this CPU uses and the portable one,
// which must agree.
size_t Found(const std::string& s) {
  const char* end = s.data() + s.size();
  size_t fast = static_cast<size_t>(FindSpecial(s.data(), end) - s.data());
  size_t portable = static_cast<size_t>(FindSpecialPortable(s.data(), end) - s.data());
  return fast == portable ? fast : SIZE_MAX;
}

TEST(ScanTest, EveryByteAtEveryOffset) {
  for (size_t size = 1; size <= 33; ++size) {
    for (size_t at = 0; at < size; ++at) {
      for (int b = 0; b < 256; ++b) {
        std::string s(size, 'a');
        s[at] = static_cast<char>(b);
        ASSERT_EQ(Found(s), FirstSpecial(s)) << "byte " << b << " at " << at << " of " << size;
      }
    }
  }
}

TEST(ScanTest, EveryPairOfBytes) {
  // Two bytes side by side, and apart, in a 16-byte window: borrows from one
  // may flag the other.
  for (size_t second : {size_t{1}, size_t{2}, size_t{7}, size_t{8}, size_t{9}}) {
    for (size_t at : {size_t{0}, size_t{3}, size_t{6}}) {
      for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
          std::string s(16, 'a');
          s[at] = static_cast<char>(a);
          s[at + second] = static_cast<char>(b);
          ASSERT_EQ(Found(s), FirstSpecial(s)) << a << " at " << at << ", " << b << " after it";
        }
      }
    }
  }
}

TEST(ScanTest, MasksOfEveryByteAtEveryPlace) {
  for (unsigned at = 0; at < 64; ++at) {
    for (int b = 0; b < 256; ++b) {
      std::string s(64, 'a');
      s[at] = static_cast<char>(b);
      auto c = static_cast<unsigned char>(b);
      uint64_t bit = uint64_t{1} << at;
      for (ByteMasks m : {MasksOf64(s.data()), MasksOf64Portable(s.data())}) {
        ASSERT_EQ(m.lf, c == '\n' ? bit : 0) << b << " at " << at;
        ASSERT_EQ(m.cr, c == '\r' ? bit : 0) << b << " at " << at;
        ASSERT_EQ(m.rejected, IsRejected(c) ? bit : 0) << b << " at " << at;
      }
    }
  }
}

}  // namespace
}  // namespace quillmar
