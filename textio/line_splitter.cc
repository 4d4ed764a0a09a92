// Line splitting and the format check.
#include "textio/line_splitter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "textio/no_memory.h"
#include "textio/scan.h"

namespace quillmar {
namespace {

// The first rejected byte in [p, p + n), a piece of a line's content with
// its CRs still in, after the line's first byte; nothing if none. *started
// says whether that first byte came in an earlier piece. A line never
// begins with a CR: the break run before it, or the start of the text,
// takes them all.
const char* FindRejected(const char* p, size_t n, bool* started) {
  for (size_t i = 0; i < n; ++i) {
    if (*started && IsRejected(static_cast<unsigned char>(p[i]))) return p + i;
    *started = true;
  }
  return nullptr;
}

}  // namespace

LineSplitter::LineSplitter(InputStream& input, size_t block,
                           std::span<const std::string_view> wanted, SplitMode mode)
    : input_(input), block_(block), wanted_(wanted), mode_(mode), buf_(2 * block) {
  slot_of_first_.fill(kKeySlots);
  for (size_t i = 0; i < wanted_.size() && i < kKeySlots; ++i) {
    // A longer key is tested on its first eight bytes: more lines are
    // delivered than need be, never fewer.
    std::string_view key = wanted_[i].substr(0, 8);
    KeyWord& k = key_words_[i];
    k.bytes = k.mask = 0;
    std::memcpy(&k.bytes, key.data(), key.size());
    std::memset(&k.mask, 0xFF, key.size());
    if (key.empty() || slot_of_first_[static_cast<unsigned char>(key[0])] != kKeySlots) {
      firsts_differ_ = false;
    } else {
      slot_of_first_[static_cast<unsigned char>(key[0])] = static_cast<uint8_t>(i);
    }
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
    if (buf_.size() - end_ < block_) {
      if (buf_.size() > most_ / 2) RunOutOfMemory();
      buf_.Grow(end_);
    }
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

void LineSplitter::Restart() {
  begin_ = end_ = 0;
  ended_ = failed_ = false;
  line_number_ = 1;
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
// Whether the eight bytes at p begin with a key: one test, or one for each
// slot, with no branch to mispredict on a mix of lines. A key never
// matches past a line's end, since no key holds a CR or an LF.
bool LineSplitter::WantedWord(const char* p) const {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if (firsts_differ_) {
    const KeyWord& k = key_words_[slot_of_first_[static_cast<unsigned char>(*p)]];
    return (word & k.mask) == k.bytes;
  }
  bool hit = false;
  for (const KeyWord& k : key_words_) hit |= (word & k.mask) == k.bytes;
  return hit;
}

bool LineSplitter::Wanted(const char* p, const char* end) const {
  if (end - p >= 8 && wanted_.size() <= kKeySlots) return WantedWord(p);
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

namespace {

bool IsBreak(char c) { return c == '\n' || c == '\r'; }

// How far past a chunk's start the fast way reads: its 64 bytes, the keys of
// a line that starts in it, and the copy of a line that ends in it.
constexpr ptrdiff_t kChunkReach = 64 + 32;

// The number of bits set, on any CPU: the x86-64 baseline has no
// instruction for it.
unsigned CountBits(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555;
  x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
  return static_cast<unsigned>((((x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F) * 0x0101010101010101) >> 56);
}

// Lists `offset` plus the place of each bit set in `bits`, in order, and
// returns how many. Eight are written whatever the count, with no branch,
// so `to` needs room for 64.
unsigned ListBits(uint64_t bits, unsigned offset, uint16_t* to) {
  unsigned count = CountBits(bits);
  for (unsigned k = 0; k < 8; ++k) {
    to[k] = static_cast<uint16_t>(
        offset + static_cast<unsigned>(std::countr_zero(bits | (uint64_t{1} << 63))));
    bits &= bits - 1;
  }
  for (unsigned k = 8; bits != 0; ++k) {
    to[k] = static_cast<uint16_t>(offset + static_cast<unsigned>(std::countr_zero(bits)));
    bits &= bits - 1;
  }
  return count;
}

// Copies a line's `size` bytes to `to` and a CR LF after them, returning
// their end: straight into the output in 16-byte copies, with no call and,
// for the usual short line, no branch. It reads and writes up to 31 bytes
// past the line: a line of the fast way ends in a chunk, so the reading
// stays within the chunk's reach.
char* CopyWithCrLf(char* to, const char* from, size_t size) {
  std::memcpy(to, from, 16);
  std::memcpy(to + 16, from + 16, 16);
  if (size > 32) [[unlikely]] {
    for (size_t i = 32; i < size; i += 16) std::memcpy(to + i, from + i, 16);
  }
  to[size] = '\r';
  to[size + 1] = '\n';
  return to + size + 2;
}

}  // namespace

// Hot: a change here is measured with bench/run.sh.
// Writes to `out`, from begin_, the lines that nobody wants and whose
// content is plain: lines with CR LF breaks as they stand, lines with LF
// breaks with a CR added to each. Stops before any other line, and where
// the buffer does not show a line and the first byte after its break run.
// Returns whether it passed any line.
bool LineSplitter::PassPlainLines(OutputStream& out, LineTaker* taker) {
  const char* const start = buf_.data() + begin_;
  const char* const end = buf_.data() + end_;
  Passing at{start, start};
  const bool windows = wanted_.size() <= kKeySlots;
  // Windows are tried again once the line-by-line way is past what stopped
  // them.
  const char* resume = start;
  for (;;) {
    if (windows && at.p >= resume && end - at.p >= kChunkReach) {
      const char* from = at.p;
      resume = PassWindow(at, end, out, taker);
      if (resume == nullptr) break;
      if (at.p != from && at.p >= resume) continue;
    }
    if (!PassLine(at, end, out, taker)) break;
  }
  out.WriteAsIs(std::string_view(at.run, static_cast<size_t>(at.p - at.run)));
  begin_ = static_cast<size_t>(at.p - buf_.data());
  return at.p != start;
}

// Hot: a change here is measured with bench/run.sh.
// Passes the lines of a window of text from at.p, in three steps with few
// branches each. First, 64 bytes at a time, every byte is checked (a CR
// only just before an LF, a rejected byte only first in a line) and the
// lines' starts and the LFs without a CR are listed. Then every line is
// tested for a key. Last, the listed LFs get their CRs and the wanted lines
// are taken. Stops at the first chunk with any other byte, returning where
// the line-by-line way must look; returns nullptr before a wanted line that
// must be delivered.
const char* LineSplitter::PassWindow(Passing& at, const char* end, OutputStream& out,
                                     LineTaker* taker) {
  const char* const base = at.p;  // a line's start
  unsigned starts = 0, bare = 0;
  uint64_t lf_before = 1, cr_before = 0;
  bool crs = false;  // whether the window has a CR yet
  const char* q = base;
  const char* odd_at = nullptr;
  for (; q - base < kWindow && end - q >= kChunkReach; q += kChunk) {
    ByteMasks m = MasksOf64(q);
    uint64_t line_starts = (m.lf << 1) | lf_before;
    uint64_t lf_after = q[kChunk] == '\n' ? 1 : 0;
    uint64_t odd = (m.cr & ~((m.lf >> 1) | (lf_after << 63))) | (m.rejected & ~line_starts);
    if (odd != 0) {
      odd_at = q + std::countr_zero(odd);
      break;
    }
    auto offset = static_cast<unsigned>(q - base);
    if (m.cr != 0 && !crs) {
      // Until the first CR every LF had none: the lines' ends.
      crs = true;
      for (unsigned i = 1; i < starts; ++i) bare_[bare++] = static_cast<uint16_t>(starts_[i] - 1);
      if (lf_before != 0 && q != base) bare_[bare++] = static_cast<uint16_t>(offset - 1);
    }
    starts += ListBits(line_starts, offset, &starts_[starts]);
    uint64_t lone = m.lf & ~((m.cr << 1) | cr_before);
    if (crs && lone != 0) bare += ListBits(lone, offset, &bare_[bare]);
    lf_before = m.lf >> 63;
    cr_before = m.cr >> 63;
  }
  if (lf_before != 0 && q != base) starts_[starts++] = static_cast<uint16_t>(q - base);
  // The window ends before the last line that starts with content: the
  // window does not show its end, and a blank line before it may belong
  // to a break run that goes on.
  unsigned lines = starts > 0 ? starts - 1 : 0;
  while (lines > 0 && IsBreak(base[starts_[lines]])) --lines;
  if (lines == 0) return odd_at != nullptr ? odd_at : q;

  unsigned wanted = 0;
  for (unsigned i = 0; i < lines; ++i) {
    wanted_lines_[wanted] = static_cast<uint16_t>(i);
    wanted += WantedWord(base + starts_[i]) ? 1u : 0u;
  }

  const uint64_t first = line_number_;
  // Most often either every LF of a window has its CR, or none has: then
  // the lines go out with a CR each, from their starts.
  const bool lf_lines = !crs;
  if (lf_lines) {
    // What an earlier window left goes out first.
    out.WriteAsIs(std::string_view(at.run, static_cast<size_t>(base - at.run)));
    at.run = base;
  }
  unsigned b = 0;     // the next listed LF without a CR
  unsigned done = 0;  // the first line not yet passed
  for (unsigned j = 0; j < wanted; ++j) {
    unsigned i = wanted_lines_[j];
    const char* line = base + starts_[i];
    // Its break run: its LF, and each blank line after it; the window's
    // last line starts with content.
    unsigned k = i + 1;
    while (k < lines && IsBreak(base[starts_[k]])) ++k;
    const char* next = base + starts_[k];
    if (lf_lines) {
      WriteLfLines(at, base, done, i, out);
    } else {
      for (; b < bare && base + bare_[b] < line; ++b) WriteWithCr(at, base + bare_[b], out);
    }
    if (taker == nullptr) {
      at.p = line;
      line_number_ = first + i;
      return nullptr;
    }
    out.WriteAsIs(std::string_view(at.run, static_cast<size_t>(line - at.run)));
    at.run = line;
    const char* lf = base + starts_[i + 1] - 1;
    const char* content_end = lf[-1] == '\r' ? lf - 1 : lf;
    if (!taker->Take(std::string_view(line, static_cast<size_t>(content_end - line)), k - i,
                     first + i)) {
      at.p = line;
      line_number_ = first + i;
      return nullptr;
    }
    at.run = next;
    done = k;
    while (b < bare && base + bare_[b] < next) ++b;  // its own LFs
  }
  const char* const last = base + starts_[lines];
  if (lf_lines) {
    WriteLfLines(at, base, done, lines, out);
  } else {
    for (; b < bare && base + bare_[b] < last; ++b) WriteWithCr(at, base + bare_[b], out);
  }
  at.p = last;
  line_number_ = first + lines;
  return odd_at != nullptr ? odd_at : last;
}

// Writes the window's lines from `from` to `to`, each with LF breaks, with a
// CR before each LF; at.run is the first one's start.
void LineSplitter::WriteLfLines(Passing& at, const char* base, unsigned from, unsigned to,
                                OutputStream& out) {
  if (from >= to) return;
  char* w = out.Reserve(starts_[to] - starts_[from] + (to - from) + 32);
  if (w == nullptr) {
    for (unsigned k = from; k < to; ++k) WriteWithCr(at, base + starts_[k + 1] - 1, out);
    return;
  }
  // Each line from its start to the LF before the next line's.
  const uint16_t* next = &starts_[from];
  const uint16_t* const last = &starts_[to];
  unsigned start = *next;
  do {
    unsigned end = *++next;
    w = CopyWithCrLf(w, base + start, end - 1u - start);
    start = end;
  } while (next != last);
  out.Commit(w);
  at.run = base + starts_[to];
}

// Writes the lines from at.run to the LF at `lf`, which has no CR, with a
// CR before it.
void LineSplitter::WriteWithCr(Passing& at, const char* lf, OutputStream& out) {
  auto size = static_cast<size_t>(lf - at.run);
  char* to = size <= kChunk ? out.Reserve(size + 32) : nullptr;
  if (to == nullptr) {
    out.WriteLine(std::string_view(at.run, size), 1);
  } else {
    out.Commit(CopyWithCrLf(to, at.run, size));
  }
  at.run = lf + 1;
}

// Hot: a change here is measured with bench/run.sh.
// Passes the line at at.p the line-by-line way, or takes it if it is wanted
// and simple; false where the line must be delivered, or the buffer does
// not show it and the first byte after its break run.
bool LineSplitter::PassLine(Passing& at, const char* end, OutputStream& out, LineTaker* taker) {
  const char* p = at.p;
  if (Wanted(p, end)) {
    const char* content_end = nullptr;
    const char* next = taker != nullptr ? SimpleLineEnd(p, end, &content_end) : nullptr;
    if (next == nullptr) return false;
    // What the taker writes goes after the lines before it.
    out.WriteAsIs(std::string_view(at.run, static_cast<size_t>(p - at.run)));
    at.run = p;
    if (!taker->Take(std::string_view(p, static_cast<size_t>(content_end - p)), 1, line_number_)) {
      return false;
    }
    ++line_number_;
    at.p = at.run = next;
    return true;
  }
  const char* content_end = FindSpecial(p, end);
  const char* next = content_end;
  uint64_t breaks = 0;
  // Most lines end in one CR LF and the next line's first byte.
  if (end - next >= 3 && next[0] == '\r' && next[1] == '\n' && next[2] != '\r' && next[2] != '\n') {
    ++line_number_;
    at.p = next + 2;
    return true;
  }
  if (end - next >= 2 && next[0] == '\r' && next[1] == '\n') {
    do {
      next += 2;
      ++breaks;
    } while (end - next >= 2 && next[0] == '\r' && next[1] == '\n');
    if (next == end || *next == '\r' || *next == '\n') return false;
  } else if (next < end && *next == '\n') {
    do {
      ++next;
      ++breaks;
    } while (next < end && *next == '\n');
    if (next == end || *next == '\r') return false;
    out.WriteAsIs(std::string_view(at.run, static_cast<size_t>(p - at.run)));
    out.WriteLine(std::string_view(p, static_cast<size_t>(content_end - p)), breaks);
    at.run = next;
  } else {
    return false;  // a CR alone, or a byte to check: the general path's
  }
  line_number_ += breaks;
  at.p = next;
  return true;
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

LineSplitter::Result LineSplitter::Refuse(FormatFault fault) {
  fault_ = fault;
  return Result::kWrongFormat;
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
    if (const char* bad = FindRejected(from, end_ - begin_ - scanned, &started)) {
      return Refuse({FormatFault::kByte, static_cast<unsigned char>(*bad)});
    }
    scanned = end_ - begin_;
    Fill f = FillBuffer();
    if (f == Fill::kFailed) return Result::kReadFailed;
    if (f == Fill::kEnd) {
      // The last line has no break; a text of CR-ended lines is one such.
      bool cr = std::memchr(buf_.data() + begin_, '\r', end_ - begin_) != nullptr;
      return Refuse({cr ? FormatFault::kCrAlone : FormatFault::kNoBreakAtEnd});
    }
  }

  if (const char* bad = FindRejected(buf_.data() + begin_ + scanned, size - scanned, &started)) {
    return Refuse({FormatFault::kByte, static_cast<unsigned char>(*bad)});
  }

  // The content goes out of the buffer first, so that the break run after
  // it can be counted without being held: a run of any length takes no
  // memory.
  decoded_.clear();
  for (const char *p = buf_.data() + begin_, *end = p + size; p < end;) {
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
    const char* stop = cr != nullptr ? cr : end;
    if (static_cast<size_t>(stop - p) > most_ - decoded_.size()) RunOutOfMemory();
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
