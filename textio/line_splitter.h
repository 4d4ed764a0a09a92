// Cuts the text into lines and rejects text that is not a settings file.
// A line is a run of content bytes and the run of LFs that ends it, so blank
// lines belong to the line before them. CR bytes are no part of the text:
// they are dropped wherever they stand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "textio/input_stream.h"
#include "textio/output_stream.h"

namespace quillmar {

struct Line {
  std::string_view content;  // holds no LF and no CR
  uint64_t breaks = 0;       // LFs after the content, at least one
  uint64_t number = 0;       // 1 + the LFs of the file before the line
};

// Takes, in the splitter's fast way, the wanted lines that it finds whole
// and plain (content with no CR, then its break run) without delivering
// them: applying the rules there saves a return to the caller for every
// such line.
class LineTaker {
 public:
  // False when the line must be delivered after all; nothing may have been
  // written for it then.
  virtual bool Take(std::string_view content, uint64_t breaks, uint64_t number) = 0;

 protected:
  ~LineTaker() = default;
};

// Why a text is not a settings file: what the splitter found in the line
// that it refused.
struct FormatFault {
  enum Kind : uint8_t {
    kNone,
    kNoBreakAtEnd,  // the text ends in the middle of a line
    kCrAlone,       // the same, in a text whose lines end in CR alone
    kByte,          // a byte that no settings file holds
  };
  Kind kind = kNone;
  unsigned char byte = 0;  // for kByte
  bool operator==(const FormatFault&) const = default;
};

// How the splitter finds lines. The fast way passes plain lines in bulk and
// takes simple ones the short way; the reference way takes every line by
// the general path alone. Both must give the same text: tests and the
// fuzzer compare them.
enum class SplitMode { kFast, kReference };

class LineSplitter {
 public:
  enum class Result {
    kLine,    // a line, perhaps with lines passed before it
    kPassed,  // lines passed, and no line to deliver yet
    kWrongFormat,
    kReadFailed,
  };

  // Lines that begin with one of the `wanted` keys (of at most eight bytes)
  // are always delivered; other lines may be passed instead: written to the
  // output as they go out, with CR LF breaks, unseen. Without keys every
  // line is delivered. The keys must outlive the splitter.
  explicit LineSplitter(InputStream& input, size_t block = kBlockSize,
                        std::span<const std::string_view> wanted = {},
                        SplitMode mode = SplitMode::kFast);

  // True once the text has no byte left; a failed read reports through Next.
  bool AtEnd();

  // Starts on the next text that the input gives, as a new splitter would,
  // keeping the buffers.
  void Restart();

  // Holds no line in more than `most` bytes: a longer one ends the work
  // as running out of memory does (RunOutOfMemory: std::bad_alloc, or in a
  // build without exceptions the end of the program). For a thread that
  // should leave long lines to another, rather than hold them twice.
  void LimitHeld(size_t most) { most_ = most; }

  // Delivers the next line, valid until the next call, after writing the
  // lines passed before it to `out`, and giving the simple wanted lines
  // among them to `taker`, if any; a failed write shows in `out`.
  Result Next(Line* line, OutputStream& out, LineTaker* taker = nullptr);

  // After kWrongFormat: why. The line is LineNumber()'s.
  FormatFault Fault() const { return fault_; }

  // The number of the line that Next delivers next.
  uint64_t LineNumber() const { return line_number_; }
  // The bytes held for the lines: a few blocks, or the longest line.
  size_t Held() const { return buf_.size() + decoded_.capacity(); }

 private:
  enum class Fill { kMore, kEnd, kFailed };
  Fill FillBuffer();
  bool WantedWord(const char* p) const;
  bool Wanted(const char* p, const char* end) const;
  // Where passing stands: lines from `run` to `p` stand as they go out.
  struct Passing {
    const char* p;
    const char* run;
  };
  bool PassPlainLines(OutputStream& out, LineTaker* taker);
  const char* PassWindow(Passing& at, const char* end, OutputStream& out, LineTaker* taker);
  void WriteWithCr(Passing& at, const char* lf, OutputStream& out);
  void WriteLfLines(Passing& at, const char* base, unsigned from, unsigned to, OutputStream& out);
  bool PassLine(Passing& at, const char* end, OutputStream& out, LineTaker* taker);
  const char* SimpleLineEnd(const char* p, const char* end, const char** content_end) const;
  bool TakeSimpleLine(Line* line);
  Result TakeAnyLine(Line* line);
  Result Refuse(FormatFault fault);

  InputStream& input_;
  size_t block_;
  std::span<const std::string_view> wanted_;
  // The keys as eight-byte words with a mask over their bytes, in a fixed
  // number of slots so that testing them all takes no loop; a spare slot
  // matches nothing. More keys than slots are tested one by one. When no two
  // keys begin with the same byte, a line's first byte picks the one slot
  // to test.
  struct KeyWord {
    uint64_t bytes = ~uint64_t{0}, mask = 0;
  };
  static constexpr size_t kKeySlots = 4;
  std::array<KeyWord, kKeySlots + 1> key_words_{};
  std::array<uint8_t, 256> slot_of_first_;
  bool firsts_differ_ = true;
  SplitMode mode_;
  // The fast way's lists for a window of text: the offsets of its lines'
  // starts and of its LFs without a CR, and which lines are wanted, with
  // room for a chunk's worth written past their ends.
  static constexpr ptrdiff_t kChunk = 64, kWindow = 4096;
  std::array<uint16_t, kWindow + 2 * kChunk> starts_, bare_, wanted_lines_;
  Buffer buf_;
  size_t most_ = SIZE_MAX;
  size_t begin_ = 0;  // first byte not yet delivered
  size_t end_ = 0;    // end of the bytes read into buf_
  bool ended_ = false;
  bool failed_ = false;
  FormatFault fault_;
  uint64_t line_number_ = 1;
  std::string decoded_;  // a line's content with its CRs taken out
};

}  // namespace quillmar
