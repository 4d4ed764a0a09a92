// The converter's only contact with raw bytes: a source to read and a sink to
// write. Files implement them in the program, memory in the tests and the
// fuzzer, so the whole conversion can run without touching a disk.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillmar {

// Reads and writes go in blocks this large: few system calls, little memory.
inline constexpr size_t kBlockSize = size_t{256} * 1024;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills the front of buf; 0 means the data is exhausted, nullopt that the
  // read failed.
  virtual std::optional<size_t> Read(std::span<char> buf) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when not every byte was stored.
  virtual bool Write(std::string_view bytes) = 0;
};

// Serves a string, in pieces of at most `chunk` bytes so that tests reach
// the block boundaries, and fails every read from `fail_at` on if set.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data, size_t chunk = SIZE_MAX,
                        std::optional<size_t> fail_at = std::nullopt)
      : data_(data), chunk_(chunk), fail_at_(fail_at) {}
  std::optional<size_t> Read(std::span<char> buf) override;

 private:
  std::string_view data_;
  size_t chunk_;
  std::optional<size_t> fail_at_;
  size_t pos_ = 0;
};

// Collects what is written; refuses bytes past `capacity`, like a full disk.
class MemorySink : public ByteSink {
 public:
  explicit MemorySink(size_t capacity = SIZE_MAX) : capacity_(capacity) {}
  bool Write(std::string_view bytes) override;
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t capacity_;
};

}  // namespace quillmar
