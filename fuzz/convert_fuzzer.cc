// Fuzzes the whole conversion in memory and checks what must hold for every
// input, not only that nothing crashes. Converting on two threads has a
// target of its own (stretches_fuzzer.cc): starting threads for every
// input would take most of this one's time.
#include <cstdint>
#include <string>

#include "fuzz/convert_bytes.h"

namespace {

using quillmar::fuzz::ConvertBytes;
using quillmar::fuzz::Require;
using quillmar::fuzz::Result;

bool OnlyCrLfBreaks(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    bool cr = bytes[i] == '\r', lf = bytes[i] == '\n';
    if (cr && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
    if (lf && (i == 0 || bytes[i - 1] != '\r')) return false;
    if (bytes[i] == '\x1A') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr size_t kBlock = 4096;  // the size does not matter, only its edges
  Result first = ConvertBytes(input, SIZE_MAX, kBlock);

  bool complete = first.console.ends_with("Conversion Complete.\n");
  Require(complete == (first.status == 0), "the status says what the console says");
  Require(first.status == 0 || first.status == 1, "the status is 0 or 1");
  if (complete) {
    Require(OnlyCrLfBreaks(first.output),
            "every CR is followed by LF, every LF follows CR, no 0x1A");
    Result again = ConvertBytes(first.output, SIZE_MAX, kBlock);
    Require(again.status == 0 && again.output == first.output, "the output converts to itself");
  }
  Require(ConvertBytes(input, SIZE_MAX, kBlock) == first, "a second run gives the same result");
  // The fast paths find the same lines as the general path alone.
  constexpr auto kReference = quillmar::SplitMode::kReference;
  Require(ConvertBytes(input, SIZE_MAX, kBlock, kReference) == first,
          "the fast and the reference splitting agree");
  // Small reads and buffers put every line across their edges.
  size_t chunk = 1 + size % 7, block = 1 + size % 13;
  Require(ConvertBytes(input, chunk, block) == first,
          "the size of reads and buffers changes nothing");
  Require(ConvertBytes(input, chunk, block, kReference) == first,
          "the reference splitting in small pieces agrees too");
  return 0;
}
