// The companion for dropped files: one conversion per file, through run
// control, with every message it prints.
#include "app/dropped.h"

#include <cstdint>

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

}  // namespace

int ConvertDropped(std::span<const std::string> dropped, Console& console) {
  if (dropped.empty()) {
    console << "Drop settings files on this program: each file F is converted into\n"
               "converted"
            << kSeparator << "F in the folder of F. No dropped file is changed.\n";
    return 1;
  }
  uint64_t converted = 0, failed = 0;
  for (const std::string& file : dropped) {
    size_t name = NameStart(file);
    std::string folder = file.substr(0, name) + "converted";
    std::string copy = folder + kSeparator + file.substr(name);
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
    if (OpenInput(file)) MakeFolder(folder);
    const std::string args[] = {"quillmar", file, copy};
    (Run(args, console) == 0 ? converted : failed) += 1;
  }
  console << "\nConverted: " << converted << ", failed: " << failed << ".\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace quillmar
