// Run control: the command line, the two files, the messages and the status.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "app/control/choose_path.h"

namespace quillmar {

// What run control needs of the files it works on: the program's are on
// disk, a test's wherever the test wants them, failing where it says.
class Files {
 public:
  virtual ~Files() = default;
  // Nothing when the file cannot be opened.
  virtual std::unique_ptr<ByteSource> OpenInput(const std::string& path) = 0;
  virtual std::unique_ptr<ByteSink> OpenOutput(const std::string& path) = 0;
  // Whether both paths name one file.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // Whether the path names the file that the console writes to.
  virtual bool IsConsole(const std::string& path) = 0;
  // Whether the path can name a file at all.
  virtual bool CanName(const std::string& /*path*/) { return true; }
  // Whether the output may be opened where a file has its name already. A
  // person who is asked may say no, which the files then tell.
  virtual bool MayReplace(const std::string& /*input*/, const std::string& /*output*/,
                          Console& /*console*/) {
    return true;
  }
};

// The files on disk.
class DiskFiles : public Files {
 public:
  std::unique_ptr<ByteSource> OpenInput(const std::string& path) override;
  std::unique_ptr<ByteSink> OpenOutput(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  bool IsConsole(const std::string& path) override;
  bool CanName(const std::string& path) override;
};

// The files on disk, for a person in a window of the program's own: a file
// is replaced only if the person says so.
class AskingDiskFiles : public DiskFiles {
 public:
  explicit AskingDiskFiles(Asker& asker) : asker_(asker) {}
  bool MayReplace(const std::string& input, const std::string& output, Console& console) override;

 private:
  Asker& asker_;
};

// Runs one conversion. args[0] is the program name, args[1] and args[2] the
// input and output paths (UTF-8). Returns the exit status, and the outcome
// of a conversion that ran in `result` if given. A `watcher`, if given, is
// told of every change.
int Run(std::span<const std::string> args, Console& console, Files& files,
        Outcome* result = nullptr, ChangeWatcher* watcher = nullptr);
// The same on the files on disk; with an `asker`, a file is replaced only
// if the person says so.
int Run(std::span<const std::string> args, Console& console, Asker* asker = nullptr);

// Prints the message that ends a conversion and returns the exit status.
int Report(const Outcome& outcome, const std::string& input, const std::string& output,
           Console& console);

}  // namespace quillmar
