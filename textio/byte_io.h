// The converter's only contact with raw bytes: a source to read and a sink to
// write. Files implement them in the program, memory in the tests and the
// fuzzer (tests/support), so the whole conversion can run without touching
// a disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace quillmar {

// Reads and writes go in blocks this large: few system calls, little memory.
inline constexpr size_t kBlockSize = size_t{256} * 1024;

// A byte buffer that, unlike std::vector, does not fill itself with zeros
// first: the pages of a large one are only touched as bytes arrive, which
// keeps a small file's run short.
class Buffer {
 public:
  explicit Buffer(size_t size) : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}
  // A buffer moved from holds nothing, and says so: a size kept without
  // its data would be trusted by whoever takes it next.
  Buffer(Buffer&& other) noexcept
      : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}
  Buffer& operator=(Buffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  char& operator[](size_t i) { return data_[i]; }
  std::span<char> span() { return {data_.get(), size_}; }

  // Doubles the size, keeping the first `keep` bytes.
  void Grow(size_t keep) {
    auto bigger = std::make_unique_for_overwrite<char[]>(2 * size_);
    std::memcpy(bigger.get(), data_.get(), keep);
    data_ = std::move(bigger);
    size_ *= 2;
  }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills the front of buf; 0 means the data is exhausted, nullopt that the
  // read failed.
  virtual std::optional<size_t> Read(std::span<char> buf) = 0;
  virtual void Close() {}

  // A source that can also be read at any offset, by several threads at
  // once, gives its size here: a file on disk, not a pipe. Such reads leave
  // Read's place alone.
  virtual std::optional<uint64_t> Size() { return std::nullopt; }
  // Fills the front of buf from `offset` on; 0 at the end, nullopt when the
  // read failed.
  virtual std::optional<size_t> ReadAt(uint64_t /*offset*/, std::span<char> /*buf*/) {
    return std::nullopt;
  }

  // Whether data that ran out after `end` bytes was all there is: the
  // size that the source had when it was opened, and has still. Yes for
  // a source that cannot tell, such as a pipe.
  virtual bool EndsAt(uint64_t /*end*/) { return true; }
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when not every byte was stored.
  virtual bool Write(std::string_view bytes) = 0;
  // Writes the first `used` bytes of `block`, which the sink may keep,
  // putting another block of the same size in its place; false when not
  // every byte of this or an earlier block was stored. True says that
  // every earlier byte was; this block's may still be on their way.
  virtual bool WriteBlock(Buffer& block, size_t used) {
    return Write(std::string_view(block.data(), used));
  }
  // False when the bytes written could not all be kept.
  virtual bool Close() { return true; }
  // The bytes stored so far, once any on their way have arrived: after a
  // failed write, how far the copy got.
  virtual uint64_t Stored() = 0;

  // The sink that writes this one's bytes in the end. A sink that hands its
  // blocks to a thread of its own gives the sink behind it here, for a
  // writer that has a thread of its own already; only before it has
  // written anything.
  virtual ByteSink& Direct() { return *this; }
};

}  // namespace quillmar
