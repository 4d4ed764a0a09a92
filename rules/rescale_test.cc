#include "rules/rescale.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/memory_io.h"
#include "textio/output_stream.h"

namespace quillmar {
namespace {

constexpr ScaleClass kFamilies[] = {ScaleClass::Hp, ScaleClass::Xaar128, ScaleClass::Xaar500};

// The line as it goes out, without its CR LF: through the output stream's
// short way and its long way, which must agree.
std::string Rewrite(std::string_view line, ScaleClass scale) {
  Rescaled r = Rescale(line, scale);
  Rescaled bytes = RescaleBytes(line, scale);
  EXPECT_TRUE(r.kind == bytes.kind && r.rest == bytes.rest && r.number == bytes.number) << line;
  switch (r.kind) {
    case Rescaled::kNoMatch:
      return "unchanged";
    case Rescaled::kOutOfRange:
      return "out of range";
    case Rescaled::kRewritten:
      break;
  }
  std::string out[2];
  for (size_t i : {size_t{0}, size_t{1}}) {
    MemorySink sink;
    OutputStream stream(sink, i == 0 ? 4096 : 4);
    EXPECT_TRUE(stream.WriteNumberedLine(kRescaledKey, r.rest, r.number));
    EXPECT_TRUE(stream.Flush());
    out[i] = sink.bytes();
  }
  EXPECT_EQ(out[0], out[1]);
  if (!out[0].ends_with("\r\n")) return "no line break";
  return out[0].substr(0, out[0].size() - 2);
}

TEST(RescaleTest, ValuesForEachFamily) {
  struct Case {
    std::string line;
    std::string hp, xaar128, xaar500;
  } cases[] = {
      {"4162-1=100", "4172-1=625", "4172-1=193", "4172-1=188"},
      {"4162-1=1000", "4172-1=6250", "4172-1=1930", "4172-1=1876"},
      {"4162-1=1", "4172-1=6", "4172-1=2", "4172-1=2"},
      {"4162-1=0", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=-100", "4172-1=-625", "4172-1=-193", "4172-1=-188"},
      {"4162-1=12345", "4172-1=77157", "4172-1=23824", "4172-1=23165"},
      {"4162-1=12.9", "4172-1=75", "4172-1=23", "4172-1=23"},
      {"4162-1=2e3", "4172-1=13", "4172-1=4", "4172-1=4"},
      {"4162-1=.5", "4172-1=3", "4172-1=1", "4172-1=1"},
      {"4162-1=+7", "4172-1=44", "4172-1=14", "4172-1=13"},
      {"4162-1=x7", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=", "4172-1=0", "4172-1=0", "4172-1=0"},
      // The value goes through single precision before it is scaled.
      {"4162-1=16777216", "4172-1=104858424", "4172-1=32377620", "4172-1=31482070"},
      {"4162-1=16777217", "4172-1=104858424", "4172-1=32377620", "4172-1=31482070"},
      // One white-space byte before the digits is skipped, a second is not.
      {"4162-1= 100", "4172-1=625", "4172-1=193", "4172-1=188"},
      {"4162-1=\t100", "4172-1=625", "4172-1=193", "4172-1=188"},
      {"4162-1=\v100", "4172-1=625", "4172-1=193", "4172-1=188"},
      {"4162-1=\f100", "4172-1=625", "4172-1=193", "4172-1=188"},
      {"4162-1=  100", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=-", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=.", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=0x10", "4172-1=0", "4172-1=0", "4172-1=0"},
      {"4162-1=00000000000000000000000000100", "4172-1=625", "4172-1=193", "4172-1=188"},
      // Ten digits, past 2^32: no 32-bit reading may wrap it round to 100.
      {"4162-1=4294967396", "out of range", "out of range", "out of range"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rewrite(c.line, ScaleClass::Hp), c.hp) << c.line;
    EXPECT_EQ(Rewrite(c.line, ScaleClass::Xaar128), c.xaar128) << c.line;
    EXPECT_EQ(Rewrite(c.line, ScaleClass::Xaar500), c.xaar500) << c.line;
  }
}

TEST(RescaleTest, SinglePrecisionDecides) {
  // A double product would give one less in each of these.
  struct Case {
    std::string line;
    ScaleClass scale;
    std::string want;
  } cases[] = {
      {"4162-1=5073", ScaleClass::Hp, "4172-1=31707"},
      {"4162-1=4113", ScaleClass::Xaar128, "4172-1=7938"},
      {"4162-1=4991", ScaleClass::Xaar500, "4172-1=9366"},
      {"4162-1=-846", ScaleClass::Xaar500, "4172-1=-1587"},  // -1587.5 rounds up
  };
  for (const Case& c : cases) EXPECT_EQ(Rewrite(c.line, c.scale), c.want) << c.line;
}

TEST(RescaleTest, KeysAndTheRestOfTheLine) {
  struct Case {
    std::string line, want;
  } cases[] = {
      {"4162-12=300", "4172-12=563"},
      {"4162-=5", "4172-=9"},
      {"4162-1=250 ; comment", "4172-1=469"},
      {"4162-1=250=7", "4172-1=469"},
      {"4162-1a=5", "unchanged"},
      {"4162-12345678", "unchanged"},  // digits to the end of a short line
      {"4162-1234567=", "4172-1234567=0"},
      {"4162-123=1", "4172-123=2"},  // an index and "=" of every length
      {"4162-12345678901234567=1", "4172-12345678901234567=2"},
      {"4162-1 =5", "unchanged"},
      {"41620=5", "unchanged"},
      {"4162-1", "unchanged"},
      {"4162-", "unchanged"},
      {"4172-1=5", "unchanged"},
      {" 4162-1=5", "unchanged"},
  };
  for (const Case& c : cases) EXPECT_EQ(Rewrite(c.line, ScaleClass::Xaar500), c.want) << c.line;
}

TEST(RescaleTest, ShortLinesReadAsTheyAreByteByByte) {
  // Every rest of up to five bytes from the bytes that matter, and longer
  // ones drawn from them: the word reading of short lines and the byte
  // reading must agree.
  constexpr std::string_view kBytes = "0159=-+ .a";
  auto agree = [](const std::string& line) {
    for (ScaleClass scale : kFamilies) {
      Rescaled word = Rescale(line, scale), bytes = RescaleBytes(line, scale);
      ASSERT_TRUE(word.kind == bytes.kind && word.rest == bytes.rest && word.number == bytes.number)
          << line;
    }
  };
  for (size_t size = 1; size <= 5; ++size) {
    size_t count = 1;
    for (size_t i = 0; i < size; ++i) count *= kBytes.size();
    for (size_t n = 0; n < count; ++n) {
      std::string line = "4162-";
      for (size_t i = 0, rest = n; i < size; ++i, rest /= kBytes.size()) {
        line += kBytes[rest % kBytes.size()];
      }
      agree(line);
    }
  }
  uint32_t state = 1;
  for (size_t n = 0; n < 100000; ++n) {
    std::string line = "4162-";
    for (size_t i = 0, size = 6 + n % 4; i < size; ++i) {
      state = state * 1664525 + 1013904223;
      line += kBytes[(state >> 8) % (i == 0 || state % 3 != 0 ? 4 : kBytes.size())];
    }
    agree(line);
  }
}

TEST(RescaleTest, ThirtyTwoBitBoundaries) {
  struct Case {
    ScaleClass scale;
    std::string low, high;     // the last values that fit
    std::string below, above;  // the first that do not
  } cases[] = {
      {ScaleClass::Hp, "-343594704", "343594671", "-343594705", "343594672"},
      {ScaleClass::Xaar128, "-1112768576", "1112768447", "-1112768577", "1112768448"},
      {ScaleClass::Xaar500, "-1144422847", "1144422720", "-1144422848", "1144422721"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(ScaleValue(c.low, c.scale), std::nullopt) << c.low;
    EXPECT_NE(ScaleValue(c.high, c.scale), std::nullopt) << c.high;
    EXPECT_EQ(ScaleValue(c.below, c.scale), std::nullopt) << c.below;
    EXPECT_EQ(ScaleValue(c.above, c.scale), std::nullopt) << c.above;
  }
  EXPECT_EQ(ScaleValue("343594671", ScaleClass::Hp), 2147483520);
  // Results of eleven characters, the longest, through the formatting.
  EXPECT_EQ(Rewrite("4162-1=-343594704", ScaleClass::Hp), "4172-1=-2147483648");
  EXPECT_EQ(Rewrite("4162-1=-200000000", ScaleClass::Hp), "4172-1=-1250009856");
}

TEST(RescaleTest, HugeAndTinyValues) {
  std::string huge(400, '9');                            // beyond double: infinity
  std::string tiny = "." + std::string(400, '0') + "1";  // below double: zero
  for (ScaleClass scale : kFamilies) {
    EXPECT_EQ(ScaleValue(huge, scale), std::nullopt);
    EXPECT_EQ(ScaleValue("-" + huge, scale), std::nullopt);
    EXPECT_EQ(ScaleValue("99999999999999999999", scale), std::nullopt);
    EXPECT_EQ(ScaleValue(tiny, scale), 0);
    EXPECT_EQ(ScaleValue(std::string(100000, '0') + "1", scale), ScaleValue("1", scale));
  }
}

TEST(RescaleTest, AgreesWithTheCLibraryAcrossManyValues) {
  // The fast path for short integers must read them as strtod does.
  for (const char* sign : {"", "-", "+"}) {
    for (uint64_t v = 1; v < 1000000000000000000ull; v = v * 7 + 3) {
      std::string text = sign + std::to_string(v);
      for (ScaleClass scale : kFamilies) {
        float f = static_cast<float>(std::strtod(text.c_str(), nullptr));
        float product = f * (scale == ScaleClass::Hp        ? 6.250049f
                             : scale == ScaleClass::Xaar128 ? 1.9298565f
                                                            : 1.8764776f);
        double r = std::floor(static_cast<double>(product) + 0.5);
        std::optional<int32_t> want;
        if (r >= -2147483648.0 && r <= 2147483647.0) want = static_cast<int32_t>(r);
        EXPECT_EQ(ScaleValue(text, scale), want) << text;
        // ...and so must the line's own reading of it.
        EXPECT_EQ(Rewrite("4162-1=" + text, scale),
                  want ? "4172-1=" + std::to_string(*want) : "out of range")
            << text;
      }
    }
  }
}

// The exact decimal of a + b, both written as digits, a point and the same
// number of digits after it.
std::string AddDecimals(std::string a, const std::string& b) {
  int carry = 0;
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] == '.') continue;
    int d = (a[i] - '0') + (b[i] - '0') + carry;
    a[i] = static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  return carry != 0 ? "1" + a : a;
}

// Half of a decimal written as digits, a point and digits, whose last
// digit is even.
std::string Halve(std::string a) {
  int carry = 0;
  for (char& c : a) {
    if (c == '.') continue;
    int d = carry * 10 + (c - '0');
    c = static_cast<char>('0' + d / 2);
    carry = d % 2;
  }
  return a;
}

// The exact decimal of x, with 1100 digits after the point.
std::string Exact(double x, size_t width) {
  std::string text(width + 1200, '\0');
  int n = std::snprintf(text.data(), text.size(), "%0*.1100f", static_cast<int>(width + 1101), x);
  text.resize(static_cast<size_t>(n));
  return text;
}

// Digits alone for a whole number, else a point and digits: the forms a
// value takes.
std::string AsValue(std::string exact) {
  size_t point = exact.find('.');
  if (exact.find_first_not_of("0.", point) == std::string::npos) {
    return exact.substr(exact.find_first_not_of('0'), point - exact.find_first_not_of('0'));
  }
  exact = exact.substr(point);
  return exact.substr(0, exact.find_last_not_of('0') + 1);
}

TEST(RescaleTest, ReadsDigitsToTheNearestDoubleHalfwayToEven) {
  // Where the C++ library has no std::from_chars for double, the C
  // library's strtod reads long values: each must give the double nearest
  // to the digits, and the even one of two as near, as from_chars does.
  uint64_t seed = 12345;
  auto next = [&seed] { return seed = seed * 6364136223846793005u + 1442695040888963407u; };
  for (int i = 0; i < 4000; ++i) {
    // Fractions below 1 down to the smallest double, and whole numbers
    // from 2^55, whose halfway points are whole too.
    int exponent =
        i % 2 == 0 ? -1 - static_cast<int>(next() % 1074) : 55 + static_cast<int>(next() % 968);
    double x = std::ldexp(1.0 + static_cast<double>(next() >> 12) * 0x1p-52, exponent);
    double up = std::nextafter(x, INFINITY);
    if (x == 0 || !std::isfinite(up)) continue;
    std::string exact = Exact(x, 310);
    std::string halfway = Halve(AddDecimals(exact, Exact(up, 310)));
    double even = (std::bit_cast<uint64_t>(x) & 1) == 0 ? x : up;
    std::vector<std::pair<std::string, double>> rows = {{AsValue(exact), x},
                                                        {AsValue(halfway), even}};
    if (x < 1) rows.emplace_back(AsValue(halfway) + "1", up);  // just past halfway
    for (const auto& [text, want] : rows) {
      EXPECT_EQ(std::bit_cast<uint64_t>(ReadDigits(text)), std::bit_cast<uint64_t>(want)) << text;
      EXPECT_EQ(std::bit_cast<uint64_t>(DigitsByStrtod(text)), std::bit_cast<uint64_t>(want))
          << text;
    }
  }
  // Past the largest double, below the smallest, and a point alone.
  for (const auto& [text, want] :
       std::vector<std::pair<std::string, double>>{{std::string(400, '9'), INFINITY},
                                                   {"." + std::string(400, '0') + "1", 0.0},
                                                   {".", 0.0}}) {
    EXPECT_EQ(ReadDigits(text), want);
    EXPECT_EQ(DigitsByStrtod(text), want);
  }
}

}  // namespace
}  // namespace quillmar
