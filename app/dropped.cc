// The companion for dropped files: one conversion per file, through run
// control, with every message it prints.
#include "app/dropped.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string_view>

#include "app/run.h"
#include "textio/file_io.h"

namespace quillmar {

namespace {
#ifdef _WIN32
constexpr const char* kSeparators = "\\/:";  // a drive's colon ends a folder too
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparators = "/";
constexpr const char* kSeparator = "/";
#endif

size_t NameStart(const std::string& path) {
  size_t cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? 0 : cut + 1;
}

// The ending of a copy being written: no settings file has it, and one that
// an ended run left is removed by the next.
constexpr std::string_view kUnfinished = ".quillmar-unfinished";

// The files on disk, but the copy, which is written under a name of its own
// until it is complete.
class UnfinishedCopy : public DiskFiles {
 public:
  UnfinishedCopy(const std::string& copy, const std::string& unfinished)
      : copy_(copy), unfinished_(unfinished) {}
  std::unique_ptr<ByteSink> OpenOutput(const std::string& path) override {
    if (path != copy_) return DiskFiles::OpenOutput(path);
    return OpenTemporary(unfinished_);
  }

 private:
  const std::string &copy_, &unfinished_;
};

}  // namespace

int ConvertDropped(std::span<const std::string> dropped, Console& console) {
  if (dropped.empty()) {
    console << "Drop settings files on this program: each file F is converted into\n"
               "converted"
            << kSeparator << "F in the folder of F. No dropped file is changed.\n";
    return 1;
  }
  uint64_t converted = 0, failed = 0;
  std::set<std::string> cleaned;
  for (const std::string& file : dropped) {
    size_t name = NameStart(file);
    std::string folder = file.substr(0, name) + "converted";
    std::string shown = "converted" + std::string(kSeparator) + file.substr(name);
    std::string copy = file.substr(0, name) + shown;
    bool replaces_original = false;
    for (const std::string& other : dropped) replaces_original |= SameFile(copy, other);
    if (replaces_original) {
      console << "\nNot converted: " << file << ". Its copy " << copy
              << " would replace a dropped file.\n";
      ++failed;
      continue;
    }
    // Only beside a file that can be read: a dropped folder or a missing
    // file gets its message, not a new folder. A folder that cannot be made
    // is reported as the output that cannot be opened.
    if (OpenInput(file)) {
      MakeFolder(folder);
      if (cleaned.insert(folder).second) RemoveFilesEndingWith(folder, kUnfinished);
    }
    // The copy is put in place only once it is complete: an earlier copy
    // is never replaced by a broken one.
    const std::string unfinished = copy + std::string(kUnfinished);
    RemoveIfInterrupted(unfinished);
    UnfinishedCopy files(copy, unfinished);
    const std::string args[] = {"quillmar", file, copy};
    bool done = Run(args, console, files) == 0;
    if (done && !MoveOnto(unfinished, copy)) {
      console << "Cannot put the copy in place as " << shown << ".\n";
      done = false;
    }
    if (!done) {
      RemoveFile(unfinished);
      console << (FileExists(copy) ? "The earlier copy " + shown + " was kept.\n"
                                   : std::string("No copy was made.\n"));
    }
    RemoveIfInterrupted("");
    (done ? converted : failed) += 1;
  }
  console << "\nConverted: " << converted << ", failed: " << failed << ".\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace quillmar
