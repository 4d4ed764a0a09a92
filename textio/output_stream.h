// Writes the converted file: lines go out with CR LF breaks, in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "textio/byte_io.h"
#include "textio/decimal.h"

namespace quillmar {

class OutputStream {
 public:
  explicit OutputStream(ByteSink& sink, size_t block = kBlockSize);

  // Writes content (which holds no LF) and `breaks` line breaks as CR LF.
  // False once any write has failed. Hot: a change here is measured with
  // bench/run.sh.
  bool WriteLine(std::string_view content, uint64_t breaks) {
    // The usual line, one break and room in the buffer, takes the short way.
    if (breaks == 1 && buf_.size() - used_ >= content.size() + 2) {
      std::memcpy(buf_.data() + used_, content.data(), content.size());
      used_ += content.size();
      buf_[used_++] = '\r';
      buf_[used_++] = '\n';
      return !failed_;
    }
    return WriteLineSlowly(content, breaks);
  }

  // Writes `key`, `rest` and `number` in decimal as one line, with one CR LF
  // break, straight into the buffer. Hot: a change here is measured with
  // bench/run.sh.
  bool WriteNumberedLine(std::string_view key, std::string_view rest, int32_t number) {
    // Room for the longest number and for the sixteen bytes its writing
    // may touch.
    size_t most = key.size() + rest.size() + 16 + 2;
    if (buf_.size() - used_ < most && !MakeRoom(most)) {
      return WriteNumberedLineSlowly(key, rest, number);
    }
    char* p = buf_.data() + used_;
    std::memcpy(p, key.data(), key.size());
    p += key.size();
    CopySmall(p, rest);
    p += rest.size();
    p += WriteDecimalFast(number, p);
    *p++ = '\r';
    *p++ = '\n';
    used_ = static_cast<size_t>(p - buf_.data());
    return !failed_;
  }

  // Room for `size` bytes after the buffered ones, to be written in place
  // and then handed over with Commit; nullptr once a write has failed, or
  // if the buffer is smaller.
  char* Reserve(size_t size) {
    if (buf_.size() - used_ < size && !MakeRoom(size)) return nullptr;
    return failed_ ? nullptr : buf_.data() + used_;
  }
  // Keeps what was written in place up to `end`.
  void Commit(const char* end) { used_ = static_cast<size_t>(end - buf_.data()); }

  // Writes bytes as they are: whole lines that already have CR LF breaks.
  bool WriteAsIs(std::string_view bytes) { return !failed_ && (bytes.empty() || Put(bytes)); }

  // Hands every buffered byte to the sink; false if any write failed.
  bool Flush();

  bool Failed() const { return failed_; }

  // Where the next byte goes: the bytes written so far, buffered or not.
  uint64_t Position() const { return handed_ + used_; }
  // The bytes at the start that the sink has stored for certain, without
  // waiting for it: those before the last block it was handed.
  uint64_t Confirmed() const { return confirmed_; }
  // The bytes at the start that the sink has stored, once those on their
  // way have arrived (from the sink's first byte, which may have come
  // from elsewhere).
  uint64_t Stored() { return sink_.Stored(); }

 private:
  // Copies bytes with copies of fixed sizes that overlap, not a library
  // call: the rest of a rewritten line is a few bytes.
  static void CopySmall(char* to, std::string_view from) {
    size_t n = from.size();
    if (n >= 8 && n <= 16) {
      std::memcpy(to, from.data(), 8);
      std::memcpy(to + n - 8, from.data() + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(to, from.data(), 4);
      std::memcpy(to + n - 4, from.data() + n - 4, 4);
    } else if (n >= 2 && n < 4) {
      std::memcpy(to, from.data(), 2);
      std::memcpy(to + n - 2, from.data() + n - 2, 2);
    } else {
      std::memcpy(to, from.data(), n);
    }
  }

  bool WriteLineSlowly(std::string_view content, uint64_t breaks);
  bool WriteNumberedLineSlowly(std::string_view key, std::string_view rest, int32_t number);
  // Flushes if `size` bytes do not fit behind the buffered ones; false if
  // they still do not fit.
  bool MakeRoom(size_t size);
  bool Put(std::string_view bytes);

  ByteSink& sink_;
  Buffer buf_;
  size_t used_ = 0;
  uint64_t handed_ = 0, confirmed_ = 0;
  bool failed_ = false;
};

}  // namespace quillmar
