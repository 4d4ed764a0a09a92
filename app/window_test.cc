#include "app/window.h"

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

TEST(WindowTest, ArgumentsComeAsUtf8AndALoneSurrogateIsKeptApart) {
  struct Row {
    std::u16string utf16;
    std::string utf8;
  } rows[] = {
      {u"ZUL 1.kvr", "ZUL 1.kvr"},
      {u"D\u00fcse \u65e5\u672c.kvr", "D\xc3\xbcse \xe6\x97\xa5\xe6\x9c\xac.kvr"},
      {u"\U0001F600.kvr", "\xf0\x9f\x98\x80.kvr"},
      {u"a\xD800.kvr", "a\xed\xa0\x80.kvr"},          // a high surrogate alone
      {u"a\xDFFF", "a\xed\xbf\xbf"},                  // a low one
      {u"a\xD83D", "a\xed\xa0\xbd"},                  // a high one at the end
      {u"\xDE00\xD83D", "\xed\xb8\x80\xed\xa0\xbd"},  // a pair the wrong way round
  };
  for (const Row& row : rows) EXPECT_EQ(Utf8FromUtf16(row.utf16), row.utf8);
}

}  // namespace
}  // namespace quillmar
