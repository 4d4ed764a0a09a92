// Converting a file in stretches on two threads, and writing them in order.
//
// The file is cut at line starts about a stretch apart, at the start of a
// head type line where one is near. Each piece between two cuts is
// converted on its own, as a text of its own, on a guess of the head
// family in force at its start. The thread that writes takes the pieces
// in the file's order and checks each guess against the family that the
// pieces before left; a piece that rescaled a line on a wrong guess is
// converted again, and its first work thrown away. A piece that starts
// with a head type line needs no guess: that line sets the family.
// The first fault, or the end of the text, stops the writing there, as it
// stops a conversion in one thread. A thread never makes a run fail that
// one thread would finish: a piece whose thread ran out of memory, or met
// a line too long to hold twice, is converted by the writing thread, and
// if that runs out of memory too, the threads are stopped and the rest of
// the file converted in one thread, with all the memory there is.
#include "app/stretches.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#ifdef __linux__
#include <sched.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "rules/head_type.h"

namespace quillmar {
namespace {

constexpr size_t kThreads = 2;
// Pieces converted, or being converted, ahead of the writing: enough that
// neither thread waits for the other, few enough to keep memory small.
constexpr size_t kAhead = 3;
constexpr uint64_t kToTheEnd = UINT64_MAX;
// The start of a head type line: its key after an LF.
constexpr std::string_view kHeadLine = "\n1000-4=";
static_assert(kHeadLine.substr(1) == kHeadTypeKey);
// More than the longest head type line that names a known head.
constexpr size_t kLongestHeadLine = 64;
// A piece's copy is held up to this many stretches' worth: a piece that
// no cut could end for a while, or that doubles in size with CRs added to
// blank lines, still fits.
constexpr size_t kMostHeld = 4;
// Bytes read at a time while looking for a head type line.
constexpr size_t kLook = size_t{16} * 1024;
static_assert(kLook > kHeadLine.size());
// A converting thread's stack: it holds little, and under a limit on
// memory the default of several MiB each would be taken from the lines.
// The program maps it itself and unmaps it after the thread ends: the C
// library would keep a stack it made for the next thread.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define QUILLMAR_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__) || defined(QUILLMAR_SANITIZED)
// A sanitizer keeps much of a thread's own state on its stack.
constexpr size_t kStack = size_t{4} << 20;
#else
constexpr size_t kStack = size_t{512} * 1024;
#endif

struct Thread {
  pthread_t id;
  void* stack;
};

// Bytes [begin, end) of a file, read as a source of their own. Reads fail
// once the run is given up, so that no thread goes on with a long piece
// that nobody will write.
class RangeSource : public ByteSource {
 public:
  RangeSource(ByteSource& file, const std::atomic<bool>& given_up)
      : file_(file), given_up_(given_up) {}

  void Reset(uint64_t begin, uint64_t end) {
    pos_ = begin;
    end_ = end;
    ended_ = false;
  }

  std::optional<size_t> Read(std::span<char> buf) override {
    if (given_up_.load(std::memory_order_relaxed)) return std::nullopt;
    if (pos_ >= end_) return 0;
    auto want = static_cast<size_t>(std::min<uint64_t>(buf.size(), end_ - pos_));
    std::optional<size_t> got = file_.ReadAt(pos_, buf.first(want));
    if (got && *got == 0) ended_ = true;
    if (got) pos_ += *got;
    return got;
  }

  // Whether the file ended before the range did: the last piece reaches
  // the end, or another program cut the file short meanwhile.
  bool Ended() const { return ended_; }

 private:
  ByteSource& file_;
  const std::atomic<bool>& given_up_;
  uint64_t pos_ = 0;
  uint64_t end_ = 0;
  bool ended_ = false;
};

// Output blocks, handed from the converting threads to the writing one
// and back.
class BlockPool {
 public:
  explicit BlockPool(size_t size) : size_(size) { free_.reserve(kMostFree); }

  Buffer Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        Buffer block = std::move(free_.back());
        free_.pop_back();
        return block;
      }
    }
    return Buffer(size_);
  }

  void Give(Buffer&& block) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (block.size() == size_ && free_.size() < kMostFree) free_.push_back(std::move(block));
  }

  // Lets every free block go.
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.clear();
  }

  size_t size() const { return size_; }

 private:
  static constexpr size_t kMostFree = 4 * kAhead;
  size_t size_;
  std::mutex mutex_;
  std::vector<Buffer> free_;
};

struct Held {
  Buffer block;
  size_t used;
};

// Keeps a piece's output until the writing thread takes it, up to a limit:
// a piece whose copy would grow past it (a long line, a long run of
// breaks) is refused, and left to the writing thread.
class PieceSink : public ByteSink {
 public:
  PieceSink(BlockPool& pool, size_t most) : pool_(pool), most_(most) {}

  void Reset(std::vector<Held>& blocks) {
    blocks_ = &blocks;
    held_ = 0;
    refused_ = false;
  }

  // Whether the piece's copy grew past the limit.
  bool Refused() const { return refused_; }

  bool Write(std::string_view bytes) override {
    if (!Hold(bytes.size())) return false;
    Buffer copy(bytes.size());
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    blocks_->push_back({std::move(copy), bytes.size()});
    return true;
  }

  bool WriteBlock(Buffer& block, size_t used) override {
    // The end of a piece seldom fills a block: held in a block of its
    // own, a run would hold twice the memory it needs.
    if (used < block.size() / 2) return Write(std::string_view(block.data(), used));
    if (!Hold(used)) return false;
    Buffer fresh = block.size() == pool_.size() ? pool_.Take() : Buffer(block.size());
    blocks_->push_back({std::move(block), used});
    block = std::move(fresh);
    return true;
  }

 private:
  bool Hold(size_t size) {
    refused_ = refused_ || size > most_ - held_;
    held_ += refused_ ? 0 : size;
    return !refused_;
  }

  BlockPool& pool_;
  const size_t most_;
  std::vector<Held>* blocks_ = nullptr;
  size_t held_ = 0;
  bool refused_ = false;
};

// Keeps a piece's messages likewise.
class TextConsole final : public Console {
 public:
  explicit TextConsole(std::string& text) : text_(text) {}

 protected:
  void Write(std::string_view text) override { text_.append(text); }

 private:
  std::string& text_;
};

struct Piece {
  uint64_t begin = 0, end = 0;
  ScaleClass guess = ScaleClass::Xaar500;
  // What converting it gave.
  Outcome outcome;
  PieceState state;
  bool ended = false;  // the text ended in it
  // Left to the writing thread: its copy was too large to hold, a line in
  // it too long, or its thread ran out of memory.
  bool given_back = false;
  std::vector<Held> blocks;
  std::string messages;
  bool done = false;
};

// Makes the piece ready to be converted on its guess; nothing that can
// fail, so that a piece that could not be converted says nothing of
// another.
void Prepare(Piece& piece) {
  piece.state = PieceState{};
  piece.state.rules.family = piece.guess;
  piece.state.guessed = true;
  piece.outcome = {};
  piece.ended = false;
  piece.given_back = false;
}

// Converts the piece from `source`.
void ConvertOn(Piece& piece, RangeSource& source, TextConverter& converter, Console& console) {
  source.Reset(piece.begin, piece.end);
  piece.outcome = converter.Convert(console, piece.state);
  piece.ended = piece.state.marked || source.Ended();
}

// What a thread keeps to convert piece after piece: its buffers. A line
// longer than `most_line`, or a copy larger than `most_held`, is left to
// the writing thread, which would otherwise hold it a second time.
class PieceWork {
 public:
  PieceWork(ByteSource& file, const std::atomic<bool>& given_up, BlockPool& pool, size_t block,
            size_t most_line, size_t most_held)
      : source_(file, given_up),
        sink_(pool, most_held),
        converter_(source_, sink_, block, SplitMode::kFast, most_line) {}

  void Convert(Piece& piece) {
    sink_.Reset(piece.blocks);
    TextConsole console(piece.messages);
    ConvertOn(piece, source_, converter_, console);
    piece.given_back = sink_.Refused() || piece.outcome.kind == Outcome::kNoMemory;
  }

 private:
  RangeSource source_;
  PieceSink sink_;
  TextConverter converter_;
};

class Stretches {
 public:
  Stretches(ByteSource& in, size_t block, size_t stretch)
      : in_(in),
        block_(block),
        stretch_(stretch),
        reach_(std::max<size_t>(stretch / 8, 1)),
        most_line_(std::max(2 * block, stretch)),
        pool_(4 * block),
        window_(reach_ + kHeadLine.size(), '\0'),
        behind_(kLook, '\0'),
        head_line_(kHeadLine.begin(), kHeadLine.end()),
        head_line_backwards_(kHeadLine.rbegin(), kHeadLine.rend()) {
    threads_.reserve(kThreads);
    for (Piece& piece : pieces_) piece.blocks.reserve(8);
  }
  ~Stretches() { Stop(); }
  Stretches(const Stretches&) = delete;
  Stretches& operator=(const Stretches&) = delete;

  // Starts the converting threads; false if none could be.
  bool Start() {
    for (size_t i = 0; i < kThreads; ++i) {
      void* stack =
          mmap(nullptr, kStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (stack == MAP_FAILED) break;
      pthread_attr_t attr;
      pthread_t id;
      bool started = false;
      if (pthread_attr_init(&attr) == 0) {
        started = pthread_attr_setstack(&attr, stack, kStack) == 0 &&
                  pthread_create(&id, &attr, &Stretches::Entry, this) == 0;
        pthread_attr_destroy(&attr);
      }
      if (!started) {
        munmap(stack, kStack);
        break;
      }
      threads_.push_back({id, stack});
    }
    return !threads_.empty();
  }

  Outcome Run(ByteSink& out, Console& console, uint64_t size);

 private:
  Piece& Slot(uint64_t k) { return pieces_[static_cast<size_t>(k % kAhead)]; }
  void Stop();
  static void* Entry(void* self);
  void Work();
  void Discard(Piece& piece);
  void ConvertOne(Piece& piece, std::optional<PieceWork>& work);
  void ConvertHere(Piece& piece, ByteSink& out, Console& console);
  Outcome Alone(const Piece& piece, uint64_t lines, ByteSink& out, Console& console);
  std::optional<uint64_t> AfterLfs(uint64_t at, uint64_t lfs);
  Outcome Ended(Outcome outcome, const Piece& piece, uint64_t lines);
  void Plan(uint64_t size, ScaleClass family);
  size_t ReadFully(uint64_t offset, std::span<char> buf);
  struct Cut {
    uint64_t at;
    bool head;  // at the start of a head type line
  };
  std::optional<Cut> FindCut(uint64_t x);
  std::optional<ScaleClass> FamilyBefore(uint64_t since, uint64_t at);
  std::optional<ScaleClass> FamilyNamedAt(uint64_t start);

  ByteSource& in_;
  const size_t block_, stretch_;
  // How far past a stretch's nominal end a cut is looked for.
  const size_t reach_;
  // The longest line a converting thread holds.
  const size_t most_line_;
  BlockPool pool_;
  std::string window_;  // the bytes a cut is looked for in
  std::string behind_;  // the bytes a head type line is looked back for in
  bool look_back_ = false;
  bool begins_with_head_ = false;  // the piece to plan next
  uint64_t last_begin_ = 0;        // of the piece planned last, and its guess
  ScaleClass last_guess_ = ScaleClass::Xaar500;
  std::boyer_moore_horspool_searcher<std::string_view::const_iterator> head_line_;
  std::boyer_moore_horspool_searcher<std::string_view::const_reverse_iterator> head_line_backwards_;
  uint64_t next_begin_ = 0, nominal_ = 0;
  bool all_planned_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Piece, kAhead> pieces_;
  uint64_t planned_ = 0;  // pieces given their place in the file
  uint64_t taken_ = 0;    // pieces taken by a converting thread
  bool stopping_ = false;
  std::atomic<bool> given_up_{false};
  const std::atomic<bool> never_given_up_{false};
  std::vector<Thread> threads_;
  // The writing thread's, for the pieces it converts itself.
  std::optional<RangeSource> here_source_;
  std::optional<TextConverter> here_;
};

void Stretches::Stop() {
  given_up_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (Thread& t : threads_) {
    pthread_join(t.id, nullptr);
    munmap(t.stack, kStack);
  }
  threads_.clear();
}

void* Stretches::Entry(void* self) {
  static_cast<Stretches*>(self)->Work();
  return nullptr;
}

void Stretches::Work() {
  std::optional<PieceWork> work;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || taken_ < planned_; });
    if (stopping_) return;
    Piece& piece = Slot(taken_++);
    lock.unlock();
    ConvertOne(piece, work);
    lock.lock();
    piece.done = true;
    changed_.notify_all();
  }
}

// Throws away what converting the piece gave, its blocks to the pool.
void Stretches::Discard(Piece& piece) {
  for (Held& held : piece.blocks) pool_.Give(std::move(held.block));
  piece.blocks.clear();
  piece.messages.clear();
}

void Stretches::ConvertOne(Piece& piece, std::optional<PieceWork>& work) {
  Discard(piece);
  Prepare(piece);
  try {
    if (!work) work.emplace(in_, given_up_, pool_, block_, most_line_, kMostHeld * stretch_);
    work->Convert(piece);
  } catch (const std::bad_alloc&) {
    piece.given_back = true;
  }
  if (piece.given_back) {
    // Its buffers may have grown, or hold a half-written block.
    Discard(piece);
    work.reset();
  }
}

// Converts the piece here, straight into the copy, as one thread would.
void Stretches::ConvertHere(Piece& piece, ByteSink& out, Console& console) {
  Discard(piece);
  bool given_back = piece.given_back;
  Prepare(piece);
  try {
    if (!here_) {
      here_source_.emplace(in_, never_given_up_);
      here_.emplace(*here_source_, out, block_, SplitMode::kFast);
    }
    ConvertOn(piece, *here_source_, *here_, console);
  } catch (const std::bad_alloc&) {
    piece.outcome = {Outcome::kNoMemory, 1};
  }
  // A long line grew the buffers: kept, they would add to what the
  // converting threads hold.
  if (given_back) here_.reset();
}

// The writing thread ran out of memory in the piece, at a line after whose
// start nothing of it is in the copy. With the threads stopped and their
// memory given back, the rest of the file is converted from that line on,
// in one thread, as one thread would have: it fails only where one thread
// would fail.
Outcome Stretches::Alone(const Piece& piece, uint64_t lines, ByteSink& out, Console& console) {
  const uint64_t before = piece.outcome.line - 1;  // the piece's LFs before the line
  const ScaleClass family = piece.state.rules.family;
  Stop();
  for (Piece& p : pieces_) {
    Discard(p);
    std::vector<Held>().swap(p.blocks);
    std::string().swap(p.messages);
  }
  pool_.Clear();
  here_.reset();
  here_source_.reset();
  std::string().swap(window_);
#ifdef __GLIBC__
  // What was freed goes back to the system, and from now on a large
  // buffer is mapped and unmapped, not taken from a heap that keeps what
  // is freed: the line at fault gets all the memory one thread would have.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  malloc_trim(0);
#endif
  std::optional<uint64_t> at = AfterLfs(piece.begin, before);
  if (!at) return {Outcome::kReadFailed};  // the file changed under the run
  Piece rest;
  rest.begin = *at;
  rest.end = kToTheEnd;
  rest.guess = family;
  Prepare(rest);
  rest.state.guessed = false;
  try {
    RangeSource source(in_, never_given_up_);
    TextConverter converter(source, out, block_, SplitMode::kFast);
    ConvertOn(rest, source, converter, console);
  } catch (const std::bad_alloc&) {
    rest.outcome = {Outcome::kNoMemory, 1};
  }
  return Ended(rest.outcome, rest, lines + before);
}

// The offset after the `lfs`th LF from `at` on; nothing if the file has
// fewer.
std::optional<uint64_t> Stretches::AfterLfs(uint64_t at, uint64_t lfs) {
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

// What the run comes to when `piece`, whose first line follows `lines`
// LFs of the file, ended it: its line numbers counted from the file's
// start, and a text that ended with the data checked against the file.
Outcome Stretches::Ended(Outcome outcome, const Piece& piece, uint64_t lines) {
  if (outcome.kind == Outcome::kOutOfRange || outcome.kind == Outcome::kNoMemory) {
    outcome.line += lines;
  }
  return WholeFile(outcome, piece.state, piece.begin + piece.state.consumed, in_);
}

// Fills `buf` from `offset` on as far as the file goes; the bytes read.
size_t Stretches::ReadFully(uint64_t offset, std::span<char> buf) {
  size_t have = 0;
  while (have < buf.size()) {
    std::optional<size_t> got = in_.ReadAt(offset + have, buf.subspan(have));
    if (!got || *got == 0) break;
    have += *got;
  }
  return have;
}

// Where to cut the text at or after x (not 0): at the start of a head type
// line within reach_ bytes, else at the first line start there; nothing if
// no line starts there, inside a long line. The line start must follow an
// LF and hold neither CR nor LF, or the cut would split a break run.
std::optional<Stretches::Cut> Stretches::FindCut(uint64_t x) {
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

// The family that the last head type line starting in [since, at) names,
// both being line starts; nothing if there is none. A guess: it misses a
// head type line whose key holds a CR.
std::optional<ScaleClass> Stretches::FamilyBefore(uint64_t since, uint64_t at) {
  // Windows from the end back, each overlapping the next by a key's
  // length less a byte, so that no key falls between two; the last
  // holds the LF before `since`.
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

// The family that the line at `start` names, if it is a head type line.
// Only its first bytes are read: enough for any known name, unless CRs
// stand among its letters.
std::optional<ScaleClass> Stretches::FamilyNamedAt(uint64_t start) {
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

// Gives the next piece its place in the file. Cuts lie a stretch apart or
// more, and within reach_ of a stretch's nominal end, so they only grow.
void Stretches::Plan(uint64_t size, ScaleClass family) {
  uint64_t begin = next_begin_, end = kToTheEnd;
  // A piece that starts with a head type line needs no guess. Else the
  // family of the last piece written is the guess, until a guess fails:
  // then the file names head types too far from the cuts and too often
  // for that to stay right. The pieces between the last one written and
  // this one may change the family, so the last head type line in the
  // piece before names it; if that piece has none, its own guess stands.
  ScaleClass guess = family;
  if (look_back_ && begin > 0 && !begins_with_head_) {
    guess = FamilyBefore(last_begin_, begin).value_or(last_guess_);
  }
  last_begin_ = begin;
  last_guess_ = guess;
  begins_with_head_ = false;
  for (nominal_ += stretch_; nominal_ < size; nominal_ += stretch_) {
    if (std::optional<Cut> cut = FindCut(nominal_)) {
      end = cut->at;
      begins_with_head_ = cut->head;
      break;
    }
  }
  all_planned_ = end == kToTheEnd;
  next_begin_ = end;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Piece& piece = Slot(planned_);
    piece.begin = begin;
    piece.end = end;
    piece.guess = guess;
    piece.done = false;
    ++planned_;
  }
  changed_.notify_all();
}

Outcome Stretches::Run(ByteSink& out, Console& console, uint64_t size) {
  ScaleClass family = ScaleClass::Xaar500;  // in force after the pieces written
  uint64_t lines = 0;                       // the LFs of the pieces written
  for (uint64_t k = 0;; ++k) {
    try {
      while (!all_planned_ && planned_ < k + kAhead) Plan(size, family);
    } catch (const std::bad_alloc&) {
      // Nothing of piece k is written yet.
      Piece at;
      at.begin = planned_ > k ? Slot(k).begin : next_begin_;
      at.outcome = {Outcome::kNoMemory, 1};
      at.state.rules.family = family;
      return Alone(at, lines, out, console);
    }
    Piece& piece = Slot(k);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&piece] { return piece.done; });
    }
    // A piece converted on a wrong guess, or given back, is converted
    // here, on the family in force.
    bool wrong = piece.state.guess_used && piece.guess != family;
    look_back_ = look_back_ || wrong;
    if (wrong || piece.given_back) {
      piece.guess = family;
      ConvertHere(piece, out, console);
      if (piece.outcome.kind == Outcome::kNoMemory) return Alone(piece, lines, out, console);
    }
    console << piece.messages;
    bool written = true;
    for (Held& held : piece.blocks) {
      if (!written) break;
      written = held.block.size() == pool_.size()
                    ? out.WriteBlock(held.block, held.used)
                    : out.Write(std::string_view(held.block.data(), held.used));
    }
    Discard(piece);
    if (piece.outcome.kind != Outcome::kComplete) return Ended(piece.outcome, piece, lines);
    if (!written) return {Outcome::kWriteFailed};
    if (piece.ended || piece.end == kToTheEnd) return Ended(piece.outcome, piece, lines);
    lines += piece.state.lines;
    if (!piece.state.guessed) family = piece.state.rules.family;
  }
}

#ifdef __GLIBC__
// Whether the process may not take all the memory it asks for.
bool MemoryLimited() {
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
  }
  return false;
}
#endif

}  // namespace

unsigned UsableCores() {
#ifdef __linux__
  // The cores the process may run on, which taskset or a container may
  // make fewer than the machine's.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
  return std::thread::hardware_concurrency();
}

std::optional<Outcome> ConvertInStretches(ByteSource& in, ByteSink& out, Console& console,
                                          size_t block, size_t stretch) {
  std::optional<uint64_t> size = in.Size();
  if (!size || *size < 2 * uint64_t{stretch}) return std::nullopt;
  // Asked only here: it takes the system a call or more to tell.
  static const unsigned cores = UsableCores();
  if (cores < 2) return std::nullopt;
#ifdef __GLIBC__
  // Under a limit on memory, the threads must leave as much of it as one
  // thread would have. The C library would otherwise give each thread an
  // arena of its own, reserving 64 MiB of addresses each, and after a
  // large buffer is freed, take buffers of up to its size from a heap that
  // keeps what is freed, rather than mapping and unmapping them. Without a
  // limit both stay as they are: one arena, and mapping every large
  // buffer, cost some 4 % on a large file.
  static const bool tuned =
      MemoryLimited() && mallopt(M_ARENA_MAX, 1) != 0 && mallopt(M_MMAP_THRESHOLD, 128 * 1024) != 0;
  (void)tuned;
#endif
  std::optional<Stretches> stretches;
  try {
    stretches.emplace(in, block, stretch);
    if (!stretches->Start()) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // Writing is this thread's only work: it writes itself.
  return stretches->Run(out.Direct(), console, *size);
}

}  // namespace quillmar
