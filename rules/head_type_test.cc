#include "rules/head_type.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(HeadTypeTest, KnownNames) {
  struct Case {
    std::string name;
    ScaleClass scale;
  } cases[] = {
      {"XAAR500", ScaleClass::Xaar500}, {"XAAR500CM", ScaleClass::Xaar500},
      {"XAAR128", ScaleClass::Xaar128}, {"XAAR128+", ScaleClass::Xaar128},
      {"HP600x600", ScaleClass::Hp},    {"HP300x300HS", ScaleClass::Hp},
      {"HP300x300OR", ScaleClass::Hp},  {"HP150x300HS", ScaleClass::Hp},
      {"HP150HS", ScaleClass::Hp},      {"HP300HS", ScaleClass::Hp},
      {"HP600HS", ScaleClass::Hp},      {"HP150", ScaleClass::Hp},
      {"HP300", ScaleClass::Hp},        {"HP600", ScaleClass::Hp},
      {"HP150OR", ScaleClass::Hp},      {"HP300OR", ScaleClass::Hp},
      {"HP600OR", ScaleClass::Hp},
  };
  for (const Case& c : cases) {
    std::string line = "1000-4=" + c.name;  // the name found is a view of it
    std::optional<HeadType> h = DetectHeadType(line);
    ASSERT_TRUE(h.has_value()) << c.name;
    EXPECT_EQ(h->name, c.name);
    EXPECT_EQ(h->family, c.scale) << c.name;
  }
}

TEST(HeadTypeTest, UnknownNamesFallBackToXaar500) {
  for (std::string name : {"xaar128", "XAAR128 ", " XAAR128", "", "FOO", "HP600x", "XAAR12"}) {
    std::string line = "1000-4=" + name;
    std::optional<HeadType> h = DetectHeadType(line);
    ASSERT_TRUE(h.has_value()) << name;
    EXPECT_EQ(h->name, name);
    EXPECT_EQ(h->family, std::nullopt) << name;
  }
}

TEST(HeadTypeTest, OtherLinesAreNotHeadTypeLines) {
  const std::string bom = "\xEF\xBB\xBF";
  for (const std::string& line :
       std::initializer_list<std::string>{"1000-40=XAAR128", "1000-4 =XAAR128", "1000-4",
                                          "1000-5=XAAR128", "", bom + "1000-4=HP600"}) {
    EXPECT_EQ(DetectHeadType(line), std::nullopt) << line;
  }
}

}  // namespace
}  // namespace quillmar
