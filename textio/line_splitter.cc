// Line splitting and the format check.
#include "textio/line_splitter.h"

#include <cstring>

namespace quillmar {
namespace {

bool HasRejected(const char* p, size_t n) {
  bool bad = false;
  for (size_t i = 0; i < n; ++i) bad |= IsRejected(static_cast<unsigned char>(p[i]));
  return bad;
}

}  // namespace

LineSplitter::LineSplitter(InputStream& input, size_t block)
    : input_(input), block_(block), buf_(2 * block) {}

LineSplitter::Fill LineSplitter::FillBuffer() {
  if (failed_) return Fill::kFailed;
  if (ended_) return Fill::kEnd;
  if (buf_.size() - end_ < block_) {
    // Keep the undelivered bytes, at the front, and make room for a block.
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (buf_.size() - end_ < block_) buf_.resize(2 * buf_.size());
  }
  std::optional<size_t> got = input_.Read(std::span(buf_).subspan(end_));
  if (!got) {
    failed_ = true;
    return Fill::kFailed;
  }
  if (*got == 0) {
    ended_ = true;
    return Fill::kEnd;
  }
  end_ += *got;
  return Fill::kMore;
}

bool LineSplitter::AtEnd() {
  while (begin_ == end_) {
    Fill f = FillBuffer();
    if (f == Fill::kEnd) return true;
    if (f == Fill::kFailed) return false;
  }
  return false;
}

LineSplitter::Result LineSplitter::Next(Line* line) {
  // Offsets from begin_, which a refill may move.
  size_t scanned = 0;
  size_t content = 0;
  for (;;) {
    const char* from = buf_.data() + begin_ + scanned;
    size_t avail = end_ - begin_ - scanned;
    const char* lf = static_cast<const char*>(std::memchr(from, '\n', avail));
    size_t upto = lf != nullptr ? static_cast<size_t>(lf - from) : avail;
    // The line's first byte is exempt from the check.
    size_t skip = scanned == 0 ? 1 : 0;
    if (upto > skip && HasRejected(from + skip, upto - skip)) return Result::kWrongFormat;
    scanned += upto;
    if (lf != nullptr) {
      content = scanned;
      break;
    }
    Fill f = FillBuffer();
    if (f == Fill::kFailed) return Result::kReadFailed;
    if (f == Fill::kEnd) return Result::kWrongFormat;  // the last line has no break
  }
  size_t breaks = 0;
  for (;;) {
    while (begin_ + scanned < end_ && buf_[begin_ + scanned] == '\n') {
      ++scanned;
      ++breaks;
    }
    if (begin_ + scanned < end_) break;
    Fill f = FillBuffer();
    if (f == Fill::kFailed) return Result::kReadFailed;
    if (f == Fill::kEnd) break;
  }
  line->content = std::string_view(buf_.data() + begin_, content);
  line->breaks = breaks;
  line->number = line_number_;
  line_number_ += breaks;
  begin_ += scanned;
  return Result::kLine;
}

}  // namespace quillmar
