// A piece of a file, the part between two cuts at line starts, converted as
// a text of its own: what a converting thread reads it from, what
// converting it gave, and the thread's work.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "app/engine/convert.h"
#include "app/threads/held.h"
#include "textio/byte_io.h"

namespace quillmar {

// Bytes [begin, end) of a file, read as a source of their own. Reads fail
// once the run is given up, so that no thread goes on with a long piece
// that nobody will write.
class RangeSource : public ByteSource {
 public:
  RangeSource(ByteSource& file, const std::atomic<bool>& given_up)
      : file_(file), given_up_(given_up) {}

  void Reset(uint64_t begin, uint64_t end) {
    pos_ = begin;
    end_ = end;
    ended_ = false;
  }

  std::optional<size_t> Read(std::span<char> buf) override;

  // Whether the file ended before the range did: the last piece reaches
  // the end, or another program cut the file short meanwhile.
  bool Ended() const { return ended_; }

 private:
  ByteSource& file_;
  const std::atomic<bool>& given_up_;
  uint64_t pos_ = 0;
  uint64_t end_ = 0;
  bool ended_ = false;
};

struct Piece {
  uint64_t begin = 0, end = 0;
  ScaleClass guess = ScaleClass::Xaar500;
  // What converting it gave.
  Outcome outcome;
  PieceState state;
  bool ended = false;  // the text ended in it
  // Left to the writing thread: it would hold too much, a line in it is
  // too long, or its thread ran out of memory.
  bool given_back = false;
  std::vector<Held> blocks;
  MessageList messages;
  bool done = false;
};

// Makes the piece ready to be converted on its guess; nothing that can
// fail, so that a piece that could not be converted says nothing of
// another.
void Prepare(Piece& piece);

// Converts the piece from `source`.
void ConvertPiece(Piece& piece, RangeSource& source, TextConverter& converter, Messages& messages);

// What a thread keeps to convert piece after piece: its buffers. A line
// longer than `most_line`, or a piece whose copy or messages pass their
// bounds, is left to the writing thread, which would otherwise hold it a
// second time.
class PieceWork {
 public:
  PieceWork(ByteSource& file, const std::atomic<bool>& given_up, BlockPool& pool, size_t block,
            size_t most_line, size_t stretch);
  void Convert(Piece& piece);

 private:
  RangeSource source_;
  HoldBound bound_;
  PieceSink sink_;
  TextConverter converter_;
};

}  // namespace quillmar
