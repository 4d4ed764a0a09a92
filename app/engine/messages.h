// A conversion's messages, each tied to the place in the copy of the line
// it tells of, so that they are shown only once that line is stored: a run
// that a full disk stops names no line its copy lacks, and says the same
// however its writes were cut, on one thread or two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/engine/console.h"

namespace quillmar {

// Where a conversion tells of its lines. Places count the copy's bytes from
// the conversion's start.
class Messages {
 public:
  // A message, a whole line of text, about the line that starts at `at`.
  virtual void Tell(uint64_t at, std::string_view text) = 0;
  // The copy's first `bytes` are stored.
  virtual void Stored(uint64_t bytes) = 0;

 protected:
  ~Messages() = default;
};

// Messages in order with their places, until they are shown.
class MessageList {
 public:
  // The memory a message takes beside its text.
  static constexpr size_t kPlaceSize = sizeof(std::pair<uint64_t, size_t>);

  void Add(uint64_t at, std::string_view text) {
    text_.append(text);
    ends_.push_back({at, text_.size()});
  }
  // Shows, and forgets, the messages of lines that start in the first
  // `bytes`.
  void ShowStored(uint64_t bytes, Console& console);
  void Clear() {
    text_.clear();
    ends_.clear();
    shown_ = 0;
  }
  // Gives its memory back too.
  void Release() {
    std::string().swap(text_);
    std::vector<std::pair<uint64_t, size_t>>().swap(ends_);
    shown_ = 0;
  }
  bool Empty() const { return shown_ == ends_.size(); }

 private:
  std::string text_;
  std::vector<std::pair<uint64_t, size_t>> ends_;  // each message's place and end
  size_t shown_ = 0;                               // of ends_
};

// Shows each message on the console once its line is stored.
class HeldMessages final : public Messages {
 public:
  explicit HeldMessages(Console& console) : console_(console) {}
  void Tell(uint64_t at, std::string_view text) override { list_.Add(at, text); }
  void Stored(uint64_t bytes) override {
    if (!list_.Empty()) list_.ShowStored(bytes, console_);
  }

 private:
  Console& console_;
  MessageList list_;
};

}  // namespace quillmar
