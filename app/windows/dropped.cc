// The companion for dropped files: one conversion per file, through run
// control, with every message it prints.
#include "app/windows/dropped.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "app/control/run.h"
#include "app/engine/last_line.h"
#include "app/engine/notes.h"
#include "app/windows/unfinished_copy.h"
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

// A name of its own for a copy while it is written: the copy's with that
// ending, and a number where another run writes the same copy just now.
std::unique_ptr<UnfinishedCopy> MakeUnfinished(const std::string& copy) {
  for (int n = 1; n <= 100; ++n) {
    std::string path = copy;
    if (n > 1) path.append(".").append(std::to_string(n));
    path += kUnfinished;
    if (std::unique_ptr<UnfinishedCopy> made = UnfinishedCopy::Create(path)) return made;
    if (!FileExists(path)) break;  // no file can be made there
  }
  return nullptr;
}

// The files on disk, but the copy, which is written under a name of its own
// until it is complete.
class UnfinishedFiles : public DiskFiles {
 public:
  explicit UnfinishedFiles(const std::string& copy) : copy_(copy) {}
  std::unique_ptr<ByteSink> OpenOutput(const std::string& path) override {
    if (path != copy_) return DiskFiles::OpenOutput(path);
    unfinished = MakeUnfinished(copy_);
    if (!unfinished) return nullptr;
    return unfinished->Writer();
  }
  std::unique_ptr<UnfinishedCopy> unfinished;

 private:
  const std::string& copy_;
};

// A copy worth a look that would replace an earlier copy that differs: it
// waits for the person's word.
struct HeldCopy {
  std::string shown, copy;
  std::unique_ptr<UnfinishedCopy> unfinished;
};

// Asks once whether the held copies replace their earlier ones, and does
// as the person says. True when they all went in place.
bool PutHeldInPlace(std::vector<HeldCopy>& held, Console& console, Asker& asker) {
  console << "\nWorth a look, and different from the earlier copies:\n";
  for (const HeldCopy& h : held) console << "  " << h.shown << "\n";
  std::string question = held.size() == 1 ? "Replace the earlier copy with this new one?"
                                          : "Replace the earlier copies with these " +
                                                std::to_string(held.size()) + " new ones?";
  question += " Type y and press Enter; Enter alone keeps the earlier copies.";
  if (!asker.Ask(console, question)) {
    console << "The earlier copies were kept, and the new ones removed:\n";
    for (const HeldCopy& h : held) console << "  " << h.shown << "\n";
    held.clear();  // the new copies go
    return false;
  }
  bool all = true;
  for (HeldCopy& h : held) {
    if (!h.unfinished->PutInPlace(h.copy)) {
      console << "Cannot put the copy in place as " << h.shown << ".\n";
      all = false;
    }
  }
  if (all) console << "The new copies replaced the earlier ones.\n";
  return all;
}

}  // namespace

int ConvertDropped(std::span<const std::string> dropped, Console& console, Asker* asker) {
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
  std::vector<HeldCopy> held;
  uint64_t converted = 0;
  std::set<std::string> cleaned;
  for (auto it = dropped.begin(); it != dropped.end(); ++it) {
    const std::string& file = *it;
    // A file dropped twice is converted once.
    if (std::any_of(dropped.begin(), it, [&](const std::string& earlier) {
          return earlier == file || SameFile(earlier, file);
        })) {
      continue;
    }
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
    if (cleaned.insert(folder).second) RemoveAbandoned(folder, kUnfinished);
    // The copy is put in place only once it is complete: an earlier copy
    // is never replaced by a broken one.
    UnfinishedFiles files(copy);
    LastLine messages(console);
    Outcome outcome;
    const std::string args[] = {"quillmar", file, copy};
    bool done = Run(args, messages, files, &outcome) == 0;
    if (done) {
      std::vector<std::string> look = Notes(outcome.tally);
      // A doubtful copy does not replace a different one unasked.
      if (asker != nullptr && !look.empty() && FileExists(copy) &&
          !SameBytes(copy, files.unfinished->path())) {
        held.push_back({shown, copy, std::move(files.unfinished)});
      } else if (!files.unfinished->PutInPlace(copy)) {
        messages << "Cannot put the copy in place as " << shown << ".\n";
        done = false;
      }
      if (done) {
        ++converted;
        for (std::string& note : look) notes.emplace_back(label(file), std::move(note));
        continue;
      }
    }
    failed.emplace_back(label(file), messages.last() + FaultDetail(outcome));
    files.unfinished.reset();
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
  if (held.empty()) return failed.empty() ? 0 : 1;
  return PutHeldInPlace(held, console, *asker) && failed.empty() ? 0 : 1;
}

}  // namespace quillmar
