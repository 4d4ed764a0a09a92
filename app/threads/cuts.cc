// Finding cuts, head families and line starts in a file, a window at a time.
#include "app/threads/cuts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "rules/head_type.h"

namespace quillmar {
namespace {

static_assert(kHeadLine.substr(1) == kHeadTypeKey);
// More than the longest head type line that names a known head.
constexpr size_t kLongestHeadLine = 64;
// Bytes read at a time while looking for a head type line.
constexpr size_t kLook = size_t{16} * 1024;
static_assert(kLook > kHeadLine.size());

}  // namespace

Cuts::Cuts(ByteSource& in, size_t reach)
    : in_(in),
      reach_(reach),
      window_(reach + kHeadLine.size(), '\0'),
      behind_(kLook, '\0'),
      head_line_(kHeadLine.begin(), kHeadLine.end()),
      head_line_backwards_(kHeadLine.rbegin(), kHeadLine.rend()) {}

size_t Cuts::ReadFully(uint64_t offset, std::span<char> buf) {
  size_t have = 0;
  while (have < buf.size()) {
    std::optional<size_t> got = in_.ReadAt(offset + have, buf.subspan(have));
    if (!got || *got == 0) break;
    have += *got;
  }
  return have;
}

std::optional<Cuts::Cut> Cuts::Find(uint64_t x) {
  // Read a little at a time: a head type line is most often near.
  size_t have = 0;
  for (;;) {
    size_t want = std::min(kLook, window_.size() - have);
    size_t got = ReadFully(x - 1 + have, std::span<char>(window_).subspan(have, want));
    std::string_view w(window_.data(), have + got);
    // A key may have begun before the bytes just read. Its line starts
    // after the LF found: at w[1] to w[reach_] for a cut.
    size_t from = have - std::min(have, kHeadLine.size() - 1);
    auto head = std::search(w.begin() + static_cast<ptrdiff_t>(from), w.end(), head_line_);
    if (head != w.end() && static_cast<size_t>(head - w.begin()) < reach_) {
      return Cut{x + static_cast<uint64_t>(head - w.begin()), true};
    }
    have += got;
    if (got < want || have == window_.size()) break;
  }
  std::string_view w(window_.data(), have);
  // Cuts at w[1] to w[reach_], each after the byte before it.
  const size_t last = std::min(reach_, w.empty() ? 0 : w.size() - 1);
  for (size_t lf = w.find('\n'); lf < last; lf = w.find('\n', lf + 1)) {
    if (w[lf + 1] != '\n' && w[lf + 1] != '\r') return Cut{x + lf, false};
  }
  return std::nullopt;
}

std::optional<ScaleClass> Cuts::FamilyBefore(uint64_t since, uint64_t at) {
  // Windows from the end back, each overlapping the next by a key's
  // length less a byte, so that no key falls between two; the last holds
  // the LF before `since`.
  if (since > 0) --since;
  for (uint64_t hi = at; hi > since;) {
    uint64_t lo = hi - std::min<uint64_t>(hi - since, behind_.size());
    std::string_view w(behind_.data(), ReadFully(lo, behind_));
    w = w.substr(0, static_cast<size_t>(hi - lo));
    auto head = std::search(w.rbegin(), w.rend(), head_line_backwards_);
    if (head != w.rend()) {
      // Its line start, then the line read on its own: it may end past
      // the window.
      return FamilyNamedAt(lo + static_cast<uint64_t>(w.rend() - head) - kHeadLine.size() + 1);
    }
    if (lo == since) break;
    hi = lo + kHeadLine.size() - 1;
  }
  // The first line has no LF before it.
  if (since == 0) return FamilyNamedAt(0);
  return std::nullopt;
}

std::optional<ScaleClass> Cuts::FamilyNamedAt(uint64_t start) {
  // Only the line's first bytes are read: enough for any known name,
  // unless CRs stand among its letters.
  std::array<char, kLongestHeadLine> line;
  size_t size = ReadFully(start, line);
  // The content without its CRs, in place: nothing to allocate.
  size_t content = 0;
  for (char c : std::string_view(line.data(), size)) {
    if (c == '\n') break;
    if (c != '\r') line[content++] = c;
  }
  std::optional<HeadType> named = DetectHeadType(std::string_view(line.data(), content));
  if (!named) return std::nullopt;
  return named->family.value_or(ScaleClass::Xaar500);
}

std::optional<uint64_t> Cuts::AfterLfs(uint64_t at, uint64_t lfs) {
  while (lfs > 0) {
    size_t got = ReadFully(at, behind_);
    if (got == 0) return std::nullopt;
    for (const char* p = behind_.data(); lfs > 0;) {
      const char* end = behind_.data() + got;
      p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (p == nullptr) break;
      ++p;
      if (--lfs == 0) return at + static_cast<uint64_t>(p - behind_.data());
    }
    at += got;
  }
  return at;
}

PiecePlan::Piece PiecePlan::Next(ScaleClass family) {
  uint64_t begin = next_begin_, end = kToTheEnd;
  ScaleClass guess = family;
  if (look_back_ && begin > 0 && !begins_with_head_) {
    guess = cuts_.FamilyBefore(last_begin_, begin).value_or(last_guess_);
  }
  last_begin_ = begin;
  last_guess_ = guess;
  begins_with_head_ = false;
  // Cuts lie a stretch apart or more, and within reach of a stretch's
  // nominal end, so they only grow.
  for (nominal_ += stretch_; nominal_ < size_; nominal_ += stretch_) {
    if (std::optional<Cuts::Cut> cut = cuts_.Find(nominal_)) {
      end = cut->at;
      begins_with_head_ = cut->head;
      break;
    }
  }
  done_ = end == kToTheEnd;
  next_begin_ = end;
  return {begin, end, guess};
}

}  // namespace quillmar
