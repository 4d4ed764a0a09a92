// Reading a file at places of its own, apart from its conversion: where to
// cut it into pieces, the head family in force before a cut or named at it,
// and where the line after so many line feeds starts; and the plan of the
// pieces that follows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rules/scale_class.h"
#include "textio/byte_io.h"

namespace quillmar {

// The end of a piece that goes on to the end of the file, whatever its size
// now.
inline constexpr uint64_t kToTheEnd = UINT64_MAX;

// The start of a head type line: its key after an LF.
inline constexpr std::string_view kHeadLine = "\n1000-4=";

class Cuts {
 public:
  // A cut is looked for up to `reach` bytes past where it is asked for.
  Cuts(ByteSource& in, size_t reach);

  struct Cut {
    uint64_t at;
    bool head;  // at the start of a head type line
  };
  // Where to cut the text at or after x (not 0): at the start of a head
  // type line within reach, else at the first line start there; nothing if
  // no line starts there, inside a long line. The line start follows an LF
  // and holds neither CR nor LF, so that no cut splits a run of breaks.
  std::optional<Cut> Find(uint64_t x);

  // The family that the last head type line starting in [since, at) names,
  // both being line starts; nothing if there is none. A guess: it misses a
  // head type line whose key holds a CR.
  std::optional<ScaleClass> FamilyBefore(uint64_t since, uint64_t at);

  // The family that the line at `start` names, if it is a head type line.
  std::optional<ScaleClass> FamilyNamedAt(uint64_t start);

  // The offset after the `lfs`th LF from `at` on; nothing if the file has
  // fewer.
  std::optional<uint64_t> AfterLfs(uint64_t at, uint64_t lfs);

  // Lets the memory for finding cuts go; only AfterLfs may be asked then.
  void StopCutting() { std::string().swap(window_); }

 private:
  // Fills `buf` from `offset` on as far as the file goes; the bytes read.
  size_t ReadFully(uint64_t offset, std::span<char> buf);

  ByteSource& in_;
  const size_t reach_;
  std::string window_;  // the bytes a cut is looked for in
  std::string behind_;  // the bytes looked back or ahead in, a window at a time
  std::boyer_moore_horspool_searcher<std::string_view::const_iterator> head_line_;
  std::boyer_moore_horspool_searcher<std::string_view::const_reverse_iterator> head_line_backwards_;
};

// Plans the pieces of a file, one after another: each ends at a cut about a
// stretch past the one before, and starts on a guess of the family in
// force there. A piece that starts with a head type line needs no guess.
// Else the family in force after the pieces written is the guess, until a
// guess fails: then the file names head types too far from the cuts and
// too often for that to stay right. The pieces between the last one
// written and the next may change the family, so the last head type line
// in the piece before names it; if that piece has none, its own guess
// stands. Reads the file, and allocates nothing.
class PiecePlan {
 public:
  // The file is `size` bytes long, as it was when opened.
  PiecePlan(ByteSource& in, uint64_t size, size_t stretch)
      : cuts_(in, std::max<size_t>(stretch / 8, 1)), size_(size), stretch_(stretch) {}

  struct Piece {
    uint64_t begin, end;  // end is kToTheEnd for the last piece
    ScaleClass guess;
  };
  // The next piece, with `family` in force after the pieces written.
  Piece Next(ScaleClass family);
  bool Done() const { return done_; }
  // A piece converted on a guess met another family.
  void GuessFailed() { look_back_ = true; }

  Cuts& cuts() { return cuts_; }

 private:
  Cuts cuts_;
  const uint64_t size_;
  const size_t stretch_;
  bool look_back_ = false;
  bool begins_with_head_ = false;  // the piece to plan next
  uint64_t last_begin_ = 0;        // of the piece planned last, and its guess
  ScaleClass last_guess_ = ScaleClass::Xaar500;
  uint64_t next_begin_ = 0, nominal_ = 0;
  bool done_ = false;
};

}  // namespace quillmar
