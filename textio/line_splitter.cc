// Line splitting and the format check.
#include "textio/line_splitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "textio/scan.h"

namespace quillmar {
namespace {

// Whether [p, p + n), a piece of a line's content with its CRs still in,
// holds a rejected byte after the line's first byte. *started says whether
// that first byte came in an earlier piece. A line never begins with a CR:
// the break run before it, or the start of the text, takes them all.
bool HasRejected(const char* p, size_t n, bool* started) {
  for (size_t i = 0; i < n; ++i) {
    if (*started && IsRejected(static_cast<unsigned char>(p[i]))) return true;
    *started = true;
  }
  return false;
}

}  // namespace

LineSplitter::LineSplitter(InputStream& input, size_t block,
                           std::span<const std::string_view> wanted, SplitMode mode)
    : input_(input), block_(block), wanted_(wanted), mode_(mode), buf_(2 * block) {
  for (size_t i = 0; i < wanted_.size() && i < kKeySlots; ++i) {
    // A longer key is tested on its first eight bytes: more lines are
    // delivered than need be, never fewer.
    std::string_view key = wanted_[i].substr(0, 8);
    KeyWord& k = key_words_[i];
    k.bytes = k.mask = 0;
    std::memcpy(&k.bytes, key.data(), key.size());
    std::memset(&k.mask, 0xFF, key.size());
  }
}

LineSplitter::Fill LineSplitter::FillBuffer() {
  if (failed_) return Fill::kFailed;
  if (ended_) return Fill::kEnd;
  if (buf_.size() - end_ < block_) {
    // Keep the undelivered bytes, at the front, and make room for a block.
    // A long line is already at the front: moving it onto itself at every
    // refill would make its time grow with the square of its length.
    if (begin_ > 0) {
      std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (buf_.size() - end_ < block_) buf_.Grow(end_);
  }
  std::optional<size_t> got = input_.Read(buf_.span().subspan(end_));
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
  // CRs before the first line are no text: a file of nothing else is empty.
  for (;;) {
    while (begin_ < end_ && buf_[begin_] == '\r') ++begin_;
    if (begin_ < end_) return false;
    Fill f = FillBuffer();
    if (f == Fill::kEnd) return true;
    if (f == Fill::kFailed) return false;
  }
}

// Hot: a change here is measured with bench/run.sh.
LineSplitter::Result LineSplitter::Next(Line* line, OutputStream& out, LineTaker* taker) {
  if (mode_ == SplitMode::kReference) return TakeAnyLine(line);
  bool passed = !wanted_.empty() && PassPlainLines(out, taker);
  if (TakeSimpleLine(line)) return Result::kLine;
  // At the end of what the buffer shows: the caller asks for more, or
  // learns that the text has ended.
  if (passed) return Result::kPassed;
  return TakeAnyLine(line);
}

// Hot: a change here is measured with bench/run.sh.
bool LineSplitter::Wanted(const char* p, const char* end) const {
  if (end - p >= 8 && wanted_.size() <= kKeySlots) {
    // All keys at once, on the line's first eight bytes: no loop, no branch
    // to mispredict on a mix of lines.
    uint64_t word;
    std::memcpy(&word, p, 8);
    bool hit = false;
    for (const KeyWord& k : key_words_) hit |= (word & k.mask) == k.bytes;
    return hit;
  }
  // Near the end of the text a key may not fit: the line is too short to
  // hold it, or the buffer does not show the line whole and it is not
  // passed anyway.
  for (std::string_view key : wanted_) {
    key = key.substr(0, 8);
    if (static_cast<size_t>(end - p) >= key.size() && std::equal(key.begin(), key.end(), p)) {
      return true;
    }
  }
  return false;
}

// Hot: a change here is measured with bench/run.sh.
// Writes to `out`, from begin_, the lines that nobody wants and whose
// content is plain: a run of lines with CR LF breaks as it stands, a line
// with LF breaks with a CR added to each. Stops before any other line, and
// where the buffer does not show a line and the first byte after its break
// run. A line too short to hold a key cannot be wanted, whatever the buffer
// shows of it. Returns whether it passed any line.
bool LineSplitter::PassPlainLines(OutputStream& out, LineTaker* taker) {
  const char* const start = buf_.data() + begin_;
  const char* const end = buf_.data() + end_;
  const char* p = start;
  const char* run = p;  // the lines from here to p stand as they go out
  for (;;) {
    if (Wanted(p, end)) {
      const char* content_end = nullptr;
      const char* next = taker != nullptr ? SimpleLineEnd(p, end, &content_end) : nullptr;
      if (next == nullptr) break;
      // What the taker writes goes after the lines before it.
      out.WriteAsIs(std::string_view(run, static_cast<size_t>(p - run)));
      run = p;
      if (!taker->Take(std::string_view(p, static_cast<size_t>(content_end - p)), line_number_)) {
        break;
      }
      ++line_number_;
      p = run = next;
      continue;
    }
    const char* content_end = FindSpecial(p, end);
    const char* next = content_end;
    uint64_t breaks = 0;
    // Most lines end in one CR LF and the next line's first byte.
    if (end - next >= 3 && next[0] == '\r' && next[1] == '\n' && next[2] != '\r' &&
        next[2] != '\n') {
      ++line_number_;
      p = next + 2;
      continue;
    }
    if (end - next >= 2 && next[0] == '\r' && next[1] == '\n') {
      do {
        next += 2;
        ++breaks;
      } while (end - next >= 2 && next[0] == '\r' && next[1] == '\n');
      if (next == end || *next == '\r' || *next == '\n') break;
    } else if (next < end && *next == '\n') {
      do {
        ++next;
        ++breaks;
      } while (next < end && *next == '\n');
      if (next == end || *next == '\r') break;
      out.WriteAsIs(std::string_view(run, static_cast<size_t>(p - run)));
      out.WriteLine(std::string_view(p, static_cast<size_t>(content_end - p)), breaks);
      run = next;
    } else {
      break;  // a CR alone, or a byte to check: the general path's
    }
    line_number_ += breaks;
    p = next;
  }
  out.WriteAsIs(std::string_view(run, static_cast<size_t>(p - run)));
  begin_ = static_cast<size_t>(p - buf_.data());
  return p != start;
}

// Where the line at p ends, with its break, if the buffer shows it whole
// and simple: plain content, an LF (after a CR or not), then the next
// line's first byte. Nothing otherwise.
const char* LineSplitter::SimpleLineEnd(const char* p, const char* end,
                                        const char** content_end) const {
  *content_end = FindSpecial(p, end);
  const char* next = *content_end;
  if (next < end && *next == '\r') ++next;
  if (next == end || *next != '\n') return nullptr;
  ++next;
  if (next == end || *next == '\n' || *next == '\r') return nullptr;
  return next;
}

// Hot: a change here is measured with bench/run.sh.
// Takes the line at begin_ if the buffer shows it whole and plain: no
// special byte, then an LF (after a CR or not), then the next line's first
// byte. Leaves everything alone otherwise.
bool LineSplitter::TakeSimpleLine(Line* line) {
  const char* raw = buf_.data() + begin_;
  const char* content_end = nullptr;
  const char* next = SimpleLineEnd(raw, buf_.data() + end_, &content_end);
  if (next == nullptr) return false;
  line->content = std::string_view(raw, static_cast<size_t>(content_end - raw));
  line->breaks = 1;
  line->number = line_number_++;
  begin_ = static_cast<size_t>(next - buf_.data());
  return true;
}

// Takes the line at begin_, whatever it holds, reading on as it needs.
LineSplitter::Result LineSplitter::TakeAnyLine(Line* line) {
  // Offsets from begin_, which a refill may move.
  size_t scanned = 0;  // bytes known to hold no LF, and checked
  bool started = false;
  size_t size = 0;  // of the content, CRs in
  for (;;) {
    const char* from = buf_.data() + begin_ + scanned;
    const void* lf = std::memchr(from, '\n', end_ - begin_ - scanned);
    if (lf != nullptr) {
      size = scanned + static_cast<size_t>(static_cast<const char*>(lf) - from);
      break;
    }
    // A rejected byte read before a failed read is the first fault.
    if (HasRejected(from, end_ - begin_ - scanned, &started)) return Result::kWrongFormat;
    scanned = end_ - begin_;
    Fill f = FillBuffer();
    if (f == Fill::kFailed) return Result::kReadFailed;
    if (f == Fill::kEnd) return Result::kWrongFormat;  // the last line has no break
  }

  if (HasRejected(buf_.data() + begin_ + scanned, size - scanned, &started)) {
    return Result::kWrongFormat;
  }

  // The content goes out of the buffer first, so that the break run after
  // it can be counted without being held: a run of any length takes no
  // memory.
  decoded_.clear();
  for (const char *p = buf_.data() + begin_, *end = p + size; p < end;) {
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
    const char* stop = cr != nullptr ? cr : end;
    decoded_.append(p, stop);
    p = stop + (cr != nullptr ? 1 : 0);
  }
  line->content = decoded_;
  line->number = line_number_;
  begin_ += size;

  // The break run: LFs, and the CRs that stand among them.
  uint64_t breaks = 0;
  for (;;) {
    for (; begin_ < end_; ++begin_) {
      char c = buf_[begin_];
      if (c != '\n' && c != '\r') break;
      breaks += c == '\n' ? 1 : 0;
    }
    if (begin_ < end_) break;
    Fill f = FillBuffer();
    if (f == Fill::kFailed) return Result::kReadFailed;
    if (f == Fill::kEnd) break;
  }
  line->breaks = breaks;
  line_number_ += breaks;
  return Result::kLine;
}

}  // namespace quillmar
