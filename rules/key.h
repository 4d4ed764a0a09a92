// Recognises a line by the key it begins with.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmar {

// Whether the line begins with the key text. Compares byte by byte, since
// nearly every line differs at its first or second byte and a library
// comparison would cost more than the answer.
constexpr bool HasKey(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (line[i] != key[i]) return false;
  }
  return true;
}

}  // namespace quillmar
