// Entry point of the browser page: the page's worker instantiates this
// module for each file, calls quillmar_convert with the file's name, and
// serves its reads, takes its writes and shows what it tells, all through
// the functions imported below. Everything the page says of a conversion
// comes from here.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/control/run.h"
#include "app/engine/last_line.h"
#include "app/engine/notes.h"

namespace {

// What the page gives the module, by name.
#define FROM_PAGE(name) __attribute__((import_module("quillmar"), import_name(#name)))

extern "C" {
// Fills the front of the buffer from the picked file; 0 at its end, -1
// when the browser could not read it.
FROM_PAGE(read) int32_t PageRead(char* data, size_t size);
// Whether the file had `end` bytes when picked, and has still.
FROM_PAGE(ends_at) int32_t PageEndsAt(double end);
// Keeps the bytes of the copy; 0 when they could not be kept.
FROM_PAGE(write) int32_t PageWrite(const char* data, size_t size);
// The console text, a piece at a time.
FROM_PAGE(console) void PageConsole(const char* data, size_t size);
// A head type line, and a line changed, shown in the page's table.
FROM_PAGE(head_type) void PageHeadType(double line, const char* name, size_t size, int32_t known);
FROM_PAGE(changed)
void PageChanged(double line, const char* before, size_t before_size, const char* after,
                 size_t after_size);
// How the run ended: the copy is only offered for status 0; `heads` counts
// the head type lines, shown or not. `reason` is the message that ended a
// run that failed, or one of the notes on a copy that completed, one call
// for each.
FROM_PAGE(ended) void PageEnded(int32_t status, double lines, double rewritten, double heads);
FROM_PAGE(reason) void PageReason(const char* text, size_t size);
}

// A file may hold far more rewritten lines, or head type lines, than anyone
// reads in a table, and than a page can hold: past these, only their count
// is shown.
constexpr uint64_t kShownChanges = 1000;
constexpr uint64_t kShownHeads = 1000;

class PageSource final : public quillmar::ByteSource {
 public:
  std::optional<size_t> Read(std::span<char> buf) override {
    int32_t got = PageRead(buf.data(), buf.size());
    if (got < 0) return std::nullopt;
    return static_cast<size_t>(got);
  }
  bool EndsAt(uint64_t end) override { return PageEndsAt(static_cast<double>(end)) != 0; }
};

class PageSink final : public quillmar::ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    // The page takes a write whole or not at all.
    bool written = PageWrite(bytes.data(), bytes.size()) != 0;
    stored_ += written ? bytes.size() : 0;
    return written;
  }
  uint64_t Stored() override { return stored_; }

 private:
  uint64_t stored_ = 0;
};

// The picked file and its download: never the same file, never the
// console.
class PageFiles final : public quillmar::Files {
 public:
  std::unique_ptr<quillmar::ByteSource> OpenInput(const std::string&) override {
    return std::make_unique<PageSource>();
  }
  std::unique_ptr<quillmar::ByteSink> OpenOutput(const std::string&) override {
    return std::make_unique<PageSink>();
  }
  bool SameFile(const std::string&, const std::string&) override { return false; }
  bool IsConsole(const std::string&) override { return false; }
};

class PageConsoleText final : public quillmar::Console {
 protected:
  void Write(std::string_view text) override { PageConsole(text.data(), text.size()); }
};

class PageWatcher final : public quillmar::ChangeWatcher {
 public:
  void HeadType(uint64_t line, std::string_view name, bool known) override {
    if (heads_++ >= kShownHeads) return;
    PageHeadType(static_cast<double>(line), name.data(), name.size(), known ? 1 : 0);
  }
  void Changed(uint64_t line, std::string_view before, std::string_view after) override {
    if (shown_ == kShownChanges) return;
    ++shown_;
    PageChanged(static_cast<double>(line), before.data(), before.size(), after.data(),
                after.size());
  }
  uint64_t heads() const { return heads_; }

 private:
  uint64_t shown_ = 0;
  uint64_t heads_ = 0;
};

}  // namespace

// Room for the page to put a name in, given back once the name is used:
// the page converts file after file with one instance.
extern "C" __attribute__((export_name("quillmar_alloc"))) char* QuillmarAlloc(size_t size) {
  return static_cast<char*>(std::malloc(size));
}
extern "C" __attribute__((export_name("quillmar_free"))) void QuillmarFree(char* data) {
  std::free(data);
}

// Converts the picked file, named `input`, into a copy named `output`, as
// the program converts input to output. Returns the exit status.
extern "C" __attribute__((export_name("quillmar_convert"))) int32_t QuillmarConvert(
    const char* input, size_t input_size, const char* output, size_t output_size) {
  const std::string args[] = {"quillmar", std::string(input, input_size),
                              std::string(output, output_size)};
  PageConsoleText text;
  quillmar::LastLine console(text);
  PageFiles files;
  PageWatcher watcher;
  quillmar::Outcome outcome;
  int status = quillmar::Run(args, console, files, &outcome, &watcher);
  const quillmar::Tally& tally = outcome.tally;
  PageEnded(status, static_cast<double>(tally.lines), static_cast<double>(tally.changed()),
            static_cast<double>(watcher.heads()));
  if (status != 0) {
    std::string reason = console.last() + quillmar::FaultDetail(outcome);
    PageReason(reason.data(), reason.size());
  } else {
    for (const std::string& note : quillmar::Notes(tally)) PageReason(note.data(), note.size());
  }
  return status;
}
