#include "app/windows/window.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(WindowTest, OnlyAWindowOpenedForTheProgramAloneWaitsBeforeClosing) {
  struct Row {
    const char* started;
    ConsoleShare share;
    bool waits;
  };
  const Row rows[] = {
      {"by a double-click or a drop on the program", {1, true, true, true}, true},
      {"from a console or a script", {2, true, true, true}, false},
      {"from a script run by a double-click", {3, true, true, true}, false},
      {"with standard input redirected", {1, false, true, true}, false},
      {"with its messages redirected", {1, true, false, true}, false},
      {"by a scheduler, on no visible desktop", {1, true, true, false}, false},
      {"with no console to ask", {0, true, true, true}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WaitsBeforeClosing(row.share), row.waits) << row.started;
  }
}

}  // namespace
}  // namespace quillmar
