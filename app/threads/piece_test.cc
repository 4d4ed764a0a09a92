#include "app/threads/piece.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/support/memory_io.h"

namespace quillmar {
namespace {

TEST(PieceTest, APieceThatWouldHoldTooMuchIsGivenBack) {
  // Messages are few, a head type line now and then, and a piece of
  // nothing else would hold twice its size in them; a piece that no cut
  // ended for many stretches would hold a copy of them all.
  const size_t stretch = 4096;
  std::string heads, few;
  while (heads.size() < stretch) heads += "1000-4=HP600\r\n";
  few = "1000-4=HP600\r\n";
  while (few.size() < stretch) few += "4162-1=10\r\n";
  std::string uncut;
  while (uncut.size() < 6 * stretch) uncut += "7000-1=some value\r\n";
  struct Row {
    const char* what;
    const std::string& text;
    bool given_back;
  } rows[] = {
      {"head type lines only", heads, true},
      {"one head type line", few, false},
      {"six stretches with no cut", uncut, true},
  };
  for (const Row& row : rows) {
    MemorySource source(row.text, SIZE_MAX, std::nullopt, true);
    std::atomic<bool> given_up{false};
    BlockPool pool(1024, 4);
    PieceWork work(source, given_up, pool, 256, SIZE_MAX, stretch);
    Piece piece;
    piece.end = row.text.size();
    Prepare(piece);
    work.Convert(piece);
    EXPECT_EQ(piece.given_back, row.given_back) << row.what;
  }
}

}  // namespace
}  // namespace quillmar
