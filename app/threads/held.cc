// Blocks passed between the threads, and a piece's held copy.
#include "app/threads/held.h"

#include <cstring>
#include <utility>

namespace quillmar {

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
  held_ += bytes.size();
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
  held_ += used;
  return true;
}

}  // namespace quillmar
