// The files on disk, as run control opens them.
#include "app/control/run.h"
#include "textio/file_io.h"
#ifndef _WIN32
#include "textio/background_sink.h"
#endif

namespace quillmar {

std::unique_ptr<ByteSource> DiskFiles::OpenInput(const std::string& path) {
  return quillmar::OpenInput(path);
}

std::unique_ptr<ByteSink> DiskFiles::OpenOutput(const std::string& path) {
  std::unique_ptr<ByteSink> file = quillmar::OpenOutput(path);
#ifndef _WIN32
  if (file) return std::make_unique<BackgroundSink>(std::move(file));
#endif
  return file;
}

bool DiskFiles::SameFile(const std::string& a, const std::string& b) {
  return quillmar::SameFile(a, b);
}

bool DiskFiles::IsConsole(const std::string& path) { return IsConsoleFile(path); }

bool DiskFiles::CanName(const std::string& path) { return quillmar::CanName(path); }

bool AskingDiskFiles::MayReplace(const std::string& input, const std::string& output,
                                 Console& console) {
  if (!FileExists(output)) return true;
  console << "\nThe file " << output << " exists already: converting " << input
          << " would replace it.\n";
  if (asker_.Ask(console, "Type y and press Enter to replace it; press Enter alone to keep it.")) {
    return true;
  }
  console << "Nothing was written: " << output << " was kept as it was.\n";
  return false;
}

int Run(std::span<const std::string> args, Console& console, Asker* asker) {
  if (asker != nullptr) {
    AskingDiskFiles disk(*asker);
    return Run(args, console, disk);
  }
  DiskFiles disk;
  return Run(args, console, disk);
}

}  // namespace quillmar
