// The companion for dropped files: one conversion per file, through run
// control, with every message it prints.
#include "app/dropped.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "app/notes.h"
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
  // In the summary a file goes by its name where all came from one folder.
  bool one_folder = std::ranges::all_of(dropped, [&](const std::string& file) {
    return file.compare(0, NameStart(file), dropped[0], 0, NameStart(dropped[0])) == 0;
  });
  auto label = [one_folder](const std::string& file) {
    return one_folder ? file.substr(NameStart(file)) : file;
  };
  // Each a line of the summary: the file, and what ended it or what to
  // look at.
  std::vector<std::pair<std::string, std::string>> failed, notes;
  uint64_t converted = 0;
  std::set<std::string> cleaned;
  for (const std::string& file : dropped) {
    size_t name = NameStart(file);
    std::string folder = file.substr(0, name) + "converted";
    std::string shown = "converted" + std::string(kSeparator) + file.substr(name);
    std::string copy = file.substr(0, name) + shown;
    // A reason of the companion's own, said before any conversion.
    std::string refused;
    bool replaces_original = false;
    for (const std::string& other : dropped) replaces_original |= SameFile(copy, other);
    if (IsFolder(file)) {
      refused = "It is a folder: open it and drop the files in it.";
    } else if (replaces_original) {
      refused = "Its copy " + copy + " would replace a dropped file.";
    } else if (OpenInput(file) && !MakeFolder(folder)) {
      // Only beside a file that can be read: a missing file gets its
      // message, not a new folder.
      refused = "Cannot make the folder " + folder +
                (FileExists(folder) ? ": a file has that name." : ".");
    }
    if (!refused.empty()) {
      console << "\nNot converted: " << file << ". " << refused << "\n";
      failed.emplace_back(label(file), refused);
      continue;
    }
    if (cleaned.insert(folder).second) RemoveFilesEndingWith(folder, kUnfinished);
    // The copy is put in place only once it is complete: an earlier copy
    // is never replaced by a broken one.
    const std::string unfinished = copy + std::string(kUnfinished);
    RemoveIfInterrupted(unfinished);
    UnfinishedCopy files(copy, unfinished);
    LastLine messages(console);
    Tally tally;
    const std::string args[] = {"quillmar", file, copy};
    bool done = Run(args, messages, files, &tally) == 0;
    if (done && !MoveOnto(unfinished, copy)) {
      messages << "Cannot put the copy in place as " << shown << ".\n";
      done = false;
    }
    RemoveIfInterrupted("");
    if (done) {
      ++converted;
      for (std::string_view note : Notes(tally)) notes.emplace_back(label(file), note);
      continue;
    }
    failed.emplace_back(label(file), messages.last());
    RemoveFile(unfinished);
    console << (FileExists(copy) ? "The earlier copy " + shown + " was kept.\n"
                                 : std::string("No copy was made.\n"));
  }
  // With many files, the failures have scrolled away: they are listed
  // again, and the copies that deserve a look.
  for (const auto& [list, heading] :
       {std::pair{&failed, "Failed:"}, {&notes, "Converted, worth a look:"}}) {
    if (list->empty()) continue;
    console << "\n" << heading << "\n";
    for (const auto& [file, why] : *list) console << "  " << file << ": " << why << "\n";
  }
  console << "\nConverted: " << converted << ", failed: " << failed.size() << ".\n";
  return failed.empty() ? 0 : 1;
}

}  // namespace quillmar
