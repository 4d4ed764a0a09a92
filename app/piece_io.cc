// A piece's source and what keeps its results.
#include "app/piece_io.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmar {

std::optional<size_t> RangeSource::Read(std::span<char> buf) {
  if (given_up_.load(std::memory_order_relaxed)) return std::nullopt;
  if (pos_ >= end_) return 0;
  auto want = static_cast<size_t>(std::min<uint64_t>(buf.size(), end_ - pos_));
  std::optional<size_t> got = file_.ReadAt(pos_, buf.first(want));
  if (got && *got == 0) ended_ = true;
  if (got) pos_ += *got;
  return got;
}

Buffer BlockPool::Take() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_.empty()) {
      Buffer block = std::move(free_.back());
      free_.pop_back();
      return block;
    }
  }
  return Buffer(size_);
}

void BlockPool::Give(Buffer&& block) {
  if (block.data() == nullptr || block.size() != size_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (free_.size() < most_free_) free_.push_back(std::move(block));
}

void BlockPool::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.clear();
}

bool PieceSink::Write(std::string_view bytes) {
  if (!bound_.TakeCopy(bytes.size())) return false;
  Buffer copy(bytes.size());
  std::memcpy(copy.data(), bytes.data(), bytes.size());
  blocks_->push_back({std::move(copy), bytes.size()});
  return true;
}

bool PieceSink::WriteBlock(Buffer& block, size_t used) {
  // The end of a piece seldom fills a block: held in a block of its own, a
  // run would hold twice the memory it needs.
  if (used < block.size() / 2) return Write(std::string_view(block.data(), used));
  if (!bound_.TakeCopy(used)) return false;
  // Whatever runs out of memory here, the caller's block stays whole: the
  // fresh one goes into the list first, and only then changes places.
  Buffer fresh = block.size() == pool_.size() ? pool_.Take() : Buffer(block.size());
  blocks_->push_back({std::move(fresh), used});
  std::swap(blocks_->back().block, block);
  return true;
}

}  // namespace quillmar
