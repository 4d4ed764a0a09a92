#include "app/windows/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmar {
namespace {

TEST(Utf16Test, ArgumentsComeAsUtf8AndALoneSurrogateIsKeptApart) {
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
      {u"\xDC00\xDC00", "\xed\xb0\x80\xed\xb0\x80"},  // two low ones, no pair
  };
  for (const Row& row : rows) EXPECT_EQ(Utf8FromUtf16(row.utf16), row.utf8);
}

}  // namespace
}  // namespace quillmar
