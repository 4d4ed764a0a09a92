// Where a converting thread keeps a piece's copy and messages until the
// writing thread takes them: blocks of one size passed between the
// threads, and a bound on what one piece may hold (a piece that would hold
// more is left to the writing thread, which writes as it goes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "app/engine/messages.h"
#include "textio/byte_io.h"

namespace quillmar {

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
    if (bound_.TakeMessages(text.size() + MessageList::kPlaceSize)) list_.Add(at, text);
  }
  void Stored(uint64_t /*bytes*/) override {}

 private:
  MessageList& list_;
  HoldBound& bound_;
};

}  // namespace quillmar
