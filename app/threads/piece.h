// A piece of a file, converted on its own: what a converting thread reads
// it from, where it keeps the piece's copy and messages until the writing
// thread takes them, up to a bound (a piece that would hold more is left to
// the writing thread, which writes as it goes), and the thread's work.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/console.h"
#include "app/engine/convert.h"
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

// Output blocks of one size, handed from the converting threads to the
// writing one and back.
class BlockPool {
 public:
  BlockPool(size_t size, size_t most_free) : size_(size), most_free_(most_free) {
    free_.reserve(most_free);
  }

  Buffer Take();
  // Keeps the block for the next Take, if it is one of the pool's size with
  // its data, and the pool has room.
  void Give(Buffer&& block);
  // Lets every free block go.
  void Clear();

  size_t size() const { return size_; }

 private:
  const size_t size_, most_free_;
  std::mutex mutex_;
  std::vector<Buffer> free_;
};

// The bytes a piece may hold: its copy, and its messages, which should be
// few (a head type line now and then). Past either bound the piece is
// refused, the copy and the messages alike, and left to the writing
// thread, which writes as it goes.
class HoldBound {
 public:
  HoldBound(size_t most_copy, size_t most_messages)
      : most_copy_(most_copy), most_messages_(most_messages) {}
  void Reset() {
    copy_ = messages_ = 0;
    refused_ = false;
  }
  // Count `size` more bytes; false, from then on, once they would pass a
  // bound.
  bool TakeCopy(size_t size) { return Take(size, copy_, most_copy_); }
  bool TakeMessages(size_t size) { return Take(size, messages_, most_messages_); }
  bool Refused() const { return refused_; }

 private:
  bool Take(size_t size, size_t& held, size_t most) {
    refused_ = refused_ || size > most - held;
    held += refused_ ? 0 : size;
    return !refused_;
  }

  const size_t most_copy_, most_messages_;
  size_t copy_ = 0, messages_ = 0;
  bool refused_ = false;
};

struct Held {
  Buffer block;
  size_t used;
};

// Keeps a piece's copy, within the bound: past it, every write fails.
class PieceSink : public ByteSink {
 public:
  PieceSink(BlockPool& pool, HoldBound& bound) : pool_(pool), bound_(bound) {}

  void Reset(std::vector<Held>& blocks) { blocks_ = &blocks; }

  bool Write(std::string_view bytes) override;
  bool WriteBlock(Buffer& block, size_t used) override;
  uint64_t Stored() override { return held_; }

 private:
  BlockPool& pool_;
  HoldBound& bound_;
  std::vector<Held>* blocks_ = nullptr;
  uint64_t held_ = 0;  // by this sink, in all its pieces
};

// Keeps a piece's messages likewise: past the bound, the rest is dropped,
// and the piece, refused, is converted again by the writing thread. They
// are shown as the piece's copy is written, those of the lines stored.
class PieceMessages final : public Messages {
 public:
  PieceMessages(MessageList& list, HoldBound& bound) : list_(list), bound_(bound) {}
  void Tell(uint64_t at, std::string_view text) override {
    if (bound_.TakeMessages(text.size() + sizeof at)) list_.Add(at, text);
  }
  void Stored(uint64_t /*bytes*/) override {}

 private:
  MessageList& list_;
  HoldBound& bound_;
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
void ConvertOn(Piece& piece, RangeSource& source, TextConverter& converter, Messages& messages);

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
