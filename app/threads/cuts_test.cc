#include "app/threads/cuts.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

TEST(CutsTest, CutsAtALineStartPreferringAHeadTypeLine) {
  const std::string lines = "A=1\r\nB=2\r\n";
  struct Row {
    const char* what;
    std::string text;
    uint64_t x;
    std::optional<uint64_t> at;
    bool head;
  } rows[] = {
      {"the next line start", "A=1\r\nB=2\r\nC=3\r\n", 2, 5, false},
      {"a head type line within reach", "A=1\r\nB=2\r\n1000-4=HP600\r\n", 2, 10, true},
      {"a head type line on the first line start", "A=1\r\n1000-4=HP600\r\n", 1, 5, true},
      {"never into a run of breaks", "A=1\r\n\r\nB=2\r\n", 2, 7, false},
      {"none inside a long line", "A=" + std::string(100, 'x') + "\r\nB\r\n", 2, {}, false},
  };
  for (const Row& row : rows) {
    MemorySource in(row.text, 3, std::nullopt, true);
    Cuts cuts(in, 16);
    std::optional<Cuts::Cut> cut = cuts.Find(row.x);
    ASSERT_EQ(cut.has_value(), row.at.has_value()) << row.what;
    if (!cut) continue;
    EXPECT_EQ(cut->at, *row.at) << row.what;
    EXPECT_EQ(cut->head, row.head) << row.what;
  }
}

// The lines, each ended by `br`.
std::string Joined(std::initializer_list<std::string_view> lines, std::string_view br) {
  std::string text;
  for (std::string_view line : lines) text.append(line).append(br);
  return text;
}

TEST(CutsTest, FindsTheFamilyInForceBeforeACut) {
  // Windows of 16 KiB are read back: the head type lines lie in another,
  // or across two, with either line break.
  for (std::string_view br : {"\n", "\r\n"}) {
    const std::string filler(size_t{40} * 1024, 'x');
    const std::string a = "A=" + filler, b = "B=" + filler, d_line = "D=" + filler;
    const std::string text =
        Joined({"1000-4=HP600", a, "1000-4=XAAR128", b, "1000-4=NOSUCHHEAD", "C=1", d_line}, br);
    MemorySource in(text, 5000, std::nullopt, true);
    Cuts cuts(in, 16);
    const uint64_t second = text.find("1000-4=XAAR128");
    const uint64_t third = text.find("1000-4=NOSUCH");
    const uint64_t d = text.find("D=");
    const size_t crs = br.size() - 1;
    EXPECT_EQ(cuts.FamilyBefore(0, second), ScaleClass::Hp) << crs;
    EXPECT_EQ(cuts.FamilyBefore(0, third), ScaleClass::Xaar128) << crs;
    EXPECT_EQ(cuts.FamilyBefore(second + 1, d), ScaleClass::Xaar500) << crs;  // an unknown name
    EXPECT_EQ(cuts.FamilyBefore(third + 1, d), std::nullopt) << crs;
    EXPECT_EQ(cuts.FamilyNamedAt(second), ScaleClass::Xaar128) << crs;
    EXPECT_EQ(cuts.FamilyNamedAt(d), std::nullopt) << crs;
    // The head key at every place around the start of the first window.
    for (size_t shift = 0; shift < 16; ++shift) {
      const std::string filled = "B=" + std::string(16 * 1024 - 28 + shift, 'y');
      const std::string across = Joined({"A=1", "1000-4=XAAR128", filled, "D=1"}, br);
      MemorySource from(across, 5000, std::nullopt, true);
      Cuts back(from, 16);
      EXPECT_EQ(back.FamilyBefore(0, across.find("D=")), ScaleClass::Xaar128) << crs << shift;
    }
  }
}

TEST(CutsTest, FindsTheLineAfterSoManyLineFeeds) {
  // Lines far past the first window that is read.
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "K=" + std::to_string(i) + "\r\n";
  MemorySource in(text, 7, std::nullopt, true);
  Cuts cuts(in, 16);
  for (uint64_t lfs : {uint64_t{0}, uint64_t{1}, uint64_t{4000}}) {
    std::optional<uint64_t> at = cuts.AfterLfs(0, lfs);
    ASSERT_TRUE(at.has_value()) << lfs;
    EXPECT_TRUE(
        text.substr(static_cast<size_t>(*at)).starts_with("K=" + std::to_string(lfs) + "\r\n"))
        << lfs;
  }
  const uint64_t from = text.find("K=10\r\n");
  EXPECT_EQ(cuts.AfterLfs(from, 3990), text.find("K=4000\r\n"));
  EXPECT_EQ(cuts.AfterLfs(0, 5000), text.size());
  EXPECT_EQ(cuts.AfterLfs(0, 5001), std::nullopt);
}

}  // namespace
}  // namespace quillmar
