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
// stops a conversion on one thread. A thread never makes a run fail that
// one thread would finish: a piece whose thread ran out of memory, or that
// would hold too much, is converted by the writing thread, and if that
// runs out of memory too, the threads are stopped and the rest of the file
// converted on one thread, with all the memory there is.
#include "app/threads/stretches.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "app/threads/cuts.h"
#include "app/threads/piece.h"
#include "app/threads/workers.h"

namespace quillmar {
namespace {

constexpr size_t kThreads = 2;
// Pieces converted, or being converted, ahead of the writing: enough that
// neither thread waits for the other, few enough to keep memory small.
constexpr size_t kAhead = 3;
class Stretches {
 public:
  Stretches(ByteSource& in, uint64_t size, size_t block, size_t stretch)
      : in_(in),
        block_(block),
        stretch_(stretch),
        most_line_(std::max(2 * block, stretch)),
        pool_(WriteBlockSize(block), 4 * kAhead),
        plan_(in, size, stretch) {
    for (Piece& piece : pieces_) piece.blocks.reserve(8);
  }
  ~Stretches() { Stop(); }
  Stretches(const Stretches&) = delete;
  Stretches& operator=(const Stretches&) = delete;

  // Starts the converting threads; false if none could be.
  bool Start() { return workers_.Start(kThreads, &Stretches::Entry, this) > 0; }

  Outcome Run(ByteSink& out, Console& console);

 private:
  Piece& Slot(uint64_t k) { return pieces_[static_cast<size_t>(k % kAhead)]; }
  void Stop();
  static void* Entry(void* self);
  void Work();
  void Discard(Piece& piece);
  void ConvertOnConvertingThread(Piece& piece, std::optional<PieceWork>& work);
  void ConvertOnWritingThread(Piece& piece, ByteSink& out, Console& console);
  bool WriteHeld(Piece& piece, ByteSink& out);
  Outcome ConvertRestOnOneThread(const Piece& piece, const Tally& before, ByteSink& out,
                                 Console& console);
  Outcome FinalOutcome(Outcome outcome, const Piece& piece, const Tally& before);
  void Plan(ScaleClass family);

  ByteSource& in_;
  const size_t block_, stretch_;
  // The longest line a converting thread holds.
  const size_t most_line_;
  BlockPool pool_;

  PiecePlan plan_;  // on the writing thread

  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Piece, kAhead> pieces_;
  uint64_t planned_ = 0;  // pieces given their place in the file
  uint64_t taken_ = 0;    // pieces taken by a converting thread
  bool stopping_ = false;
  std::atomic<bool> given_up_{false};
  const std::atomic<bool> never_given_up_{false};
  Workers workers_;
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
  workers_.Join();
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
    ConvertOnConvertingThread(piece, work);
    lock.lock();
    piece.done = true;
    changed_.notify_all();
  }
}

// Throws away what converting the piece gave, its blocks to the pool.
void Stretches::Discard(Piece& piece) {
  for (Held& held : piece.blocks) pool_.Give(std::move(held.block));
  piece.blocks.clear();
  piece.messages.Clear();
}

void Stretches::ConvertOnConvertingThread(Piece& piece, std::optional<PieceWork>& work) {
  Discard(piece);
  Prepare(piece);
  try {
    if (!work) work.emplace(in_, given_up_, pool_, block_, most_line_, stretch_);
    work->Convert(piece);
  } catch (const std::bad_alloc&) {
    piece.given_back = true;
  }
  if (piece.given_back) {
    // Its buffers may have grown, or hold a half-written block.
    Discard(piece);
    piece.messages.Release();
    work.reset();
  }
}

// Converts the piece here, straight into the copy, as one thread would.
void Stretches::ConvertOnWritingThread(Piece& piece, ByteSink& out, Console& console) {
  Discard(piece);
  bool given_back = piece.given_back;
  Prepare(piece);
  try {
    if (!here_) {
      here_source_.emplace(in_, never_given_up_);
      here_.emplace(*here_source_, out, block_, SplitMode::kFast);
    }
    HeldMessages messages(console);
    ConvertPiece(piece, *here_source_, *here_, messages);
  } catch (const std::bad_alloc&) {
    piece.outcome = {Outcome::kNoMemory, 1};
  }
  // A long line grew the buffers: kept, they would add to what the
  // converting threads hold.
  if (given_back) here_.reset();
}

// Writes what a converting thread held of the piece; false if a write
// failed.
bool Stretches::WriteHeld(Piece& piece, ByteSink& out) {
  for (Held& held : piece.blocks) {
    bool written = held.block.size() == pool_.size()
                       ? out.WriteBlock(held.block, held.used)
                       : out.Write(std::string_view(held.block.data(), held.used));
    if (!written) return false;
  }
  return true;
}

// The writing thread ran out of memory in the piece, at a line after whose
// start nothing of it is in the copy. With the threads stopped and their
// memory given back, the rest of the file is converted from that line on,
// on one thread, as one thread would have: it fails only where one thread
// would fail.
Outcome Stretches::ConvertRestOnOneThread(const Piece& piece, const Tally& before, ByteSink& out,
                                          Console& console) {
  // The lines written: the pieces before, and those of this one before the
  // line at fault.
  Tally part = piece.state.tally;
  part.lines = piece.outcome.line - 1;
  Tally written = before;
  written += part;
  const ScaleClass family = piece.state.rules.family;
  Stop();
  for (Piece& p : pieces_) {
    Discard(p);
    std::vector<Held>().swap(p.blocks);
    p.messages.Release();
  }
  pool_.Clear();
  here_.reset();
  here_source_.reset();
  plan_.cuts().StopCutting();
  ReturnFreedMemory();
  std::optional<uint64_t> at = plan_.cuts().AfterLfs(piece.begin, piece.outcome.line - 1);
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
    HeldMessages messages(console);
    ConvertPiece(rest, source, converter, messages);
  } catch (const std::bad_alloc&) {
    rest.outcome = {Outcome::kNoMemory, 1};
  }
  return FinalOutcome(rest.outcome, rest, written);
}

// What the run comes to when `piece`, whose first line follows the lines
// `before`, ended it: its line numbers counted from the file's start, the
// tally of the whole, and a text that ended with the data checked against
// the file.
Outcome Stretches::FinalOutcome(Outcome outcome, const Piece& piece, const Tally& before) {
  if (outcome.kind == Outcome::kOutOfRange || outcome.kind == Outcome::kNoMemory ||
      outcome.kind == Outcome::kWrongFormat) {
    outcome.line += before.lines;
  }
  outcome.tally = before;
  outcome.tally += piece.state.tally;
  return FailIfChanged(outcome, piece.state, piece.begin + piece.state.consumed, in_);
}

// Gives the next piece its place in the file.
void Stretches::Plan(ScaleClass family) {
  PiecePlan::Piece next = plan_.Next(family);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Piece& piece = Slot(planned_);
    piece.begin = next.begin;
    piece.end = next.end;
    piece.guess = next.guess;
    piece.done = false;
    ++planned_;
  }
  changed_.notify_all();
}

Outcome Stretches::Run(ByteSink& out, Console& console) {
  ScaleClass family = ScaleClass::Xaar500;  // in force after the pieces written
  Tally before;                             // of the pieces written
  for (uint64_t k = 0;; ++k) {
    while (!plan_.Done() && planned_ < k + kAhead) Plan(family);
    Piece& piece = Slot(k);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&piece] { return piece.done; });
    }
    // A piece converted on a wrong guess, or given back, is converted
    // here, on the family in force.
    bool wrong = piece.state.guess_used && piece.guess != family;
    if (wrong) plan_.GuessFailed();
    if (wrong || piece.given_back) {
      piece.guess = family;
      ConvertOnWritingThread(piece, out, console);
      if (piece.outcome.kind == Outcome::kNoMemory) {
        return ConvertRestOnOneThread(piece, before, out, console);
      }
    }
    // The held copy comes before the piece's fault in the file: a write
    // that failed is the first failure. Of its messages, those of the
    // lines stored are shown, as one thread shows them.
    const uint64_t stored_before = out.Stored();
    bool written = WriteHeld(piece, out);
    piece.messages.ShowStored(written ? UINT64_MAX : out.Stored() - stored_before, console);
    Discard(piece);
    if (!written) return {Outcome::kWriteFailed};
    if (piece.outcome.kind != Outcome::kComplete || piece.ended || piece.end == kToTheEnd) {
      return FinalOutcome(piece.outcome, piece, before);
    }
    before += piece.state.tally;
    if (!piece.state.guessed) family = piece.state.rules.family;
  }
}

}  // namespace

std::optional<Outcome> ConvertInStretches(ByteSource& in, ByteSink& out, Console& console,
                                          size_t block, size_t stretch) {
  std::optional<uint64_t> size = in.Size();
  if (stretch == 0 || !size || *size < 2 * uint64_t{stretch}) return std::nullopt;
  TuneMemoryForLimit();
  std::optional<Stretches> stretches;
  try {
    stretches.emplace(in, *size, block, stretch);
    if (!stretches->Start()) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // Writing is this thread's only work: it writes itself.
  return stretches->Run(out.Direct(), console);
}

}  // namespace quillmar
