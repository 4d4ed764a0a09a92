// A piece's source and its conversion.
#include "app/threads/piece.h"

#include <algorithm>

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

void ConvertPiece(Piece& piece, RangeSource& source, TextConverter& converter, Messages& messages) {
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
  ConvertPiece(piece, source_, converter_, messages);
  piece.given_back = bound_.Refused() || piece.outcome.kind == Outcome::kNoMemory;
}

}  // namespace quillmar
