// A byte source and sink in memory.
#include "tests/support/memory_io.h"

#include <algorithm>
#include <cstring>

namespace quillmar {

std::optional<size_t> MemorySource::Read(std::span<char> buf) {
  if (fail_at_ && pos_ >= *fail_at_) return std::nullopt;
  size_t limit = std::min(fail_at_.value_or(SIZE_MAX), data_.size());
  size_t n = std::min({buf.size(), chunk_, limit - pos_});
  std::memcpy(buf.data(), data_.data() + pos_, n);
  pos_ += n;
  return n;
}

bool MemorySink::Write(std::string_view bytes) {
  size_t room = capacity_ - bytes_.size();
  bytes_.append(bytes.substr(0, room));
  return bytes.size() <= room;
}

}  // namespace quillmar
