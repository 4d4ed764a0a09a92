// Comparing a held copy with the earlier one, alike on every system.
#include "app/windows/unfinished_copy.h"

#include <cstring>

namespace quillmar {

bool SameBytes(const std::string& a, const std::string& b) {
  FileHandle fa = OpenBeside(a), fb = OpenBeside(b);
  if (!fa || !fb) return false;
  static constexpr size_t kPart = 1 << 16;
  auto pa = std::make_unique<char[]>(kPart), pb = std::make_unique<char[]>(kPart);
  for (;;) {
    size_t na = std::fread(pa.get(), 1, kPart, fa.get());
    size_t nb = std::fread(pb.get(), 1, kPart, fb.get());
    if (na != nb || std::memcmp(pa.get(), pb.get(), na) != 0) return false;
    if (na < kPart) return std::ferror(fa.get()) == 0 && std::ferror(fb.get()) == 0;
  }
}

}  // namespace quillmar
