// A byte source and sink in memory, for the tests and the fuzzer: the whole
// conversion runs without a disk, and can be made to fail where a test says.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/engine/console.h"
#include "textio/byte_io.h"

namespace quillmar {

// Serves a string, in pieces of at most `chunk` bytes so that tests reach
// the block boundaries, and fails every read from `fail_at` on if set.
// Read anywhere, like a file on disk, if `anywhere`.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data, size_t chunk = SIZE_MAX,
                        std::optional<size_t> fail_at = std::nullopt, bool anywhere = false)
      : data_(data), chunk_(chunk), fail_at_(fail_at), anywhere_(anywhere) {}
  std::optional<size_t> Read(std::span<char> buf) override;
  std::optional<uint64_t> Size() override;
  std::optional<size_t> ReadAt(uint64_t offset, std::span<char> buf) override;
  bool EndsAt(uint64_t end) override;

  // Says the source had this size when it was opened, as a file that was
  // cut short or grown since.
  void SizeAtOpening(uint64_t size) { size_at_opening_ = size; }

 private:
  uint64_t SizeSaid() const { return size_at_opening_.value_or(data_.size()); }

  std::string_view data_;
  std::optional<uint64_t> size_at_opening_;
  size_t chunk_;
  std::optional<size_t> fail_at_;
  bool anywhere_;
  size_t pos_ = 0;
};

// Collects the messages.
class MemoryConsole final : public Console {
 public:
  const std::string& text() const { return text_; }

 protected:
  void Write(std::string_view text) override { text_.append(text); }

 private:
  std::string text_;
};

// A person at the console who answers every question as told, writing the
// question down.
class Answer final : public Asker {
 public:
  explicit Answer(bool yes) : yes_(yes) {}
  bool Ask(Console& console, std::string_view question) override {
    console << question << "\n";
    ++asked;
    return yes_;
  }
  int asked = 0;

 private:
  bool yes_;
};

// Collects what is written; refuses bytes past `capacity`, like a full disk,
// and, if told, fails its close, like a disk that refuses the last blocks.
class MemorySink : public ByteSink {
 public:
  explicit MemorySink(size_t capacity = SIZE_MAX, bool close_fails = false)
      : capacity_(capacity), close_fails_(close_fails) {}
  bool Write(std::string_view bytes) override;
  bool Close() override { return !close_fails_; }
  uint64_t Stored() override { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }
  // Takes the memory for the bytes beforehand.
  void Reserve(size_t size) { bytes_.reserve(size); }

 private:
  std::string bytes_;
  size_t capacity_;
  bool close_fails_;
};

}  // namespace quillmar
