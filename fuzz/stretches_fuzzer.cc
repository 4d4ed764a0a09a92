// Fuzzes the conversion of a large file on two threads: cut into stretches
// of a few bytes, so that pieces start on every kind of line and guess the
// head family wrong, it must give what one thread gives, to the byte.
#include <cstdint>

#include "fuzz/convert_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using quillmar::fuzz::ConvertBytes;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr size_t kBlock = 4096;
  const auto one = ConvertBytes(input, SIZE_MAX, kBlock);
  // Small reads and blocks as well: a line longer than two blocks is left
  // to the writing thread.
  size_t chunk = 1 + size % 7, block = 1 + size % 13;
  for (size_t stretch : {1 + size % 11, 16 + size % 97}) {
    quillmar::fuzz::Require(
        ConvertBytes(input, chunk, block, quillmar::SplitMode::kFast, stretch) == one,
        "converting in stretches on two threads agrees with one thread");
  }
  return 0;
}
