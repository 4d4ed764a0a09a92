// A piece's source, what keeps its results, and its conversion.
#include "app/threads/piece.h"

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

namespace {

// A piece's copy is held up to this many stretches' worth: a piece that no
// cut could end for a while, or that doubles in size with CRs added to
// blank lines, still fits. Its messages, up to a quarter of a stretch:
// most files name a head type now and then, and a file of nothing else
// would otherwise hold its messages several times over.
constexpr size_t kMostHeld = 4;
constexpr size_t kMessagesPerStretch = 4;

}  // namespace

void Prepare(Piece& piece) {
  piece.state = PieceState{};
  piece.state.rules.family = piece.guess;
  piece.state.guessed = true;
  piece.outcome = {};
  piece.ended = false;
  piece.given_back = false;
}

void ConvertOn(Piece& piece, RangeSource& source, TextConverter& converter, Messages& messages) {
  source.Reset(piece.begin, piece.end);
  piece.outcome = converter.Convert(messages, piece.state);
  piece.ended = piece.state.marked || source.Ended();
}

PieceWork::PieceWork(ByteSource& file, const std::atomic<bool>& given_up, BlockPool& pool,
                     size_t block, size_t most_line, size_t stretch)
    : source_(file, given_up),
      bound_(kMostHeld * stretch, stretch / kMessagesPerStretch),
      sink_(pool, bound_),
      converter_(source_, sink_, block, SplitMode::kFast, most_line) {}

void PieceWork::Convert(Piece& piece) {
  bound_.Reset();
  sink_.Reset(piece.blocks);
  PieceMessages messages(piece.messages, bound_);
  ConvertOn(piece, source_, converter_, messages);
  piece.given_back = bound_.Refused() || piece.outcome.kind == Outcome::kNoMemory;
}

}  // namespace quillmar
