// The head type names and their families. A new head type is one line here.
#include "rules/head_type.h"

#include "rules/key.h"

namespace quillmar {
namespace {

struct Known {
  std::string_view name;
  ScaleClass family;
};

// In the order they are compared.
constexpr Known kHeadTypes[] = {
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

}  // namespace

std::optional<HeadType> DetectHeadType(std::string_view content) {
  if (!HasKey(content, kHeadTypeKey)) return std::nullopt;
  // The whole rest of the line is the name: nothing is trimmed, case counts.
  std::string_view text = content.substr(kHeadTypeKey.size());
  for (const Known& k : kHeadTypes) {
    if (text == k.name) return HeadType{text, k.family};
  }
  return HeadType{text, std::nullopt};
}

}  // namespace quillmar
