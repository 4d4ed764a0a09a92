// Buffered output with CR LF line breaks.
#include "textio/output_stream.h"

#include <algorithm>
#include <cstring>

namespace quillmar {
namespace {

constexpr std::string_view kCrLfs =
    "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
    "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";

}  // namespace

OutputStream::OutputStream(ByteSink& sink, size_t block) : sink_(sink), buf_(block) {}

bool OutputStream::Put(std::string_view bytes) {
  if (buf_.size() - used_ < bytes.size()) {
    if (!Flush()) return false;
    // Too large to be worth buffering: straight through.
    if (bytes.size() >= buf_.size()) {
      failed_ = !sink_.Write(bytes);
      handed_ += bytes.size();
      if (!failed_) confirmed_ = handed_;
      return !failed_;
    }
  }
  std::memcpy(buf_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return true;
}

bool OutputStream::WriteLineSlowly(std::string_view content, uint64_t breaks) {
  if (failed_ || !Put(content)) return false;
  while (breaks > 0) {
    auto n = static_cast<size_t>(std::min<uint64_t>(breaks, kCrLfs.size() / 2));
    if (!Put(kCrLfs.substr(0, 2 * n))) return false;
    breaks -= n;
  }
  return true;
}

bool OutputStream::MakeRoom(size_t size) { return Flush() && buf_.size() >= size; }

bool OutputStream::WriteNumberedLineSlowly(std::string_view key, std::string_view rest,
                                           int32_t number) {
  char digits[kLongestDecimal];
  WriteDecimal(number, digits);
  return !failed_ && Put(key) && Put(rest) &&
         WriteLineSlowly(std::string_view(digits, DecimalLength(number)), 1);
}

bool OutputStream::Flush() {
  if (!failed_ && used_ > 0) {
    failed_ = !sink_.WriteBlock(buf_, used_);
    if (!failed_) confirmed_ = handed_;
  }
  // Places go on as in the copy meant, stored or not: a line after a
  // failed write never seems to come before the failure.
  handed_ += used_;
  used_ = 0;
  return !failed_;
}

}  // namespace quillmar
