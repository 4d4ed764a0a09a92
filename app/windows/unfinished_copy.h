// The companion's copies: each is written under a name of its own and put
// in place only once it is complete, so that an interrupted run, or a
// second run in the same folder, never leaves a half-written file under
// the copy's name. unfinished_copy_posix.cc and unfinished_copy_win32.cc
// hold each system's half.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "textio/file_io.h"

namespace quillmar {

// A copy that is put in place only once it is complete (the companion for
// dropped files): it is written under a name of its own, then moved onto
// its own name in one step. While this object lives the file is held: no
// other run removes it as abandoned, and this one removes it on its end
// unless it was put in place, and on an interruption of the program
// (Ctrl+C, a closed window, SIGINT, SIGTERM or SIGHUP) before the program
// ends as it would have.
class UnfinishedCopy {
 public:
  // Creates the file at `path`; nothing where a file has that name already
  // or none can be made.
  static std::unique_ptr<UnfinishedCopy> Create(const std::string& path);
  UnfinishedCopy(const UnfinishedCopy&) = delete;
  UnfinishedCopy& operator=(const UnfinishedCopy&) = delete;
  ~UnfinishedCopy();
  const std::string& path() const { return path_; }
  // What writes the copy; its Close ends the writing, not the hold.
  std::unique_ptr<FileSink> Writer() const;
  // Moves the copy onto `to`, in the same folder, replacing what is there,
  // in one step; false if it could not.
  bool PutInPlace(const std::string& to);

 private:
#ifdef _WIN32
  using Hold = void*;  // a handle
#else
  using Hold = int;  // a descriptor with a lock on the file
#endif
  UnfinishedCopy(std::string path, Hold hold, int watch)
      : path_(std::move(path)), hold_(hold), watch_(watch) {}
  void Release();
  std::string path_;
  Hold hold_;
  int watch_;  // where the interruption handler finds it; -1: nowhere
  bool in_place_ = false;
};

// Removes the files in `folder` whose names end with `ending` that no
// UnfinishedCopy holds, in this run or another: those that an ended run
// left.
void RemoveAbandoned(const std::string& folder, std::string_view ending);

// Opens a file to read beside whoever holds it, an unfinished copy too.
FileHandle OpenBeside(const std::string& path);
// Whether both files hold the same bytes; false where either cannot be
// read. Either may be an unfinished copy.
bool SameBytes(const std::string& a, const std::string& b);

}  // namespace quillmar
