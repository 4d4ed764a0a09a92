// A byte source and sink in memory.
#include "tests/support/memory_io.h"

#include <algorithm>
#include <cstring>

namespace quillmar {

std::optional<size_t> MemorySource::Read(std::span<char> buf) {
  std::optional<size_t> n = ReadAt(pos_, buf);
  pos_ += n.value_or(0);
  return n;
}

std::optional<uint64_t> MemorySource::Size() {
  if (!anywhere_) return std::nullopt;
  return SizeSaid();
}

bool MemorySource::EndsAt(uint64_t end) { return end == SizeSaid() && SizeSaid() == data_.size(); }

std::optional<size_t> MemorySource::ReadAt(uint64_t offset, std::span<char> buf) {
  if (fail_at_ && offset >= *fail_at_) return std::nullopt;
  size_t limit = std::min(fail_at_.value_or(SIZE_MAX), data_.size());
  if (offset >= limit) return 0;
  auto at = static_cast<size_t>(offset);
  size_t n = std::min({buf.size(), chunk_, limit - at});
  std::memcpy(buf.data(), data_.data() + at, n);
  return n;
}

bool MemorySink::Write(std::string_view bytes) {
  size_t room = capacity_ - bytes_.size();
  bytes_.append(bytes.substr(0, room));
  return bytes.size() <= room;
}

}  // namespace quillmar
