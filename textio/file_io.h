// The settings files on disk, as a byte source and a byte sink.
#pragma once

#include <cstdio>
#ifdef _WIN32
#include <filesystem>
#endif
#include <memory>
#include <string>
#include <string_view>

#include "textio/byte_io.h"

namespace quillmar {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

class FileSource : public ByteSource {
 public:
  // `size` is the file's when it is a regular file, read at opening.
  explicit FileSource(FileHandle file, std::optional<uint64_t> size = std::nullopt)
      : file_(std::move(file)), size_(size) {}
  std::optional<size_t> Read(std::span<char> buf) override;
  void Close() override { file_.reset(); }
  bool EndsAt(uint64_t end) override;
#ifndef _WIN32
  std::optional<uint64_t> Size() override { return size_; }
  std::optional<size_t> ReadAt(uint64_t offset, std::span<char> buf) override;
#endif

 private:
  FileHandle file_;
  std::optional<uint64_t> size_;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(FileHandle file) : file_(std::move(file)) {}
  bool Write(std::string_view bytes) override;
  // False if the last bytes could not be stored or the close failed.
  bool Close() override;
  uint64_t Stored() override { return stored_; }

 private:
  FileHandle file_;
  uint64_t stored_ = 0;
};

#ifdef _WIN32
// Whether the path is valid UTF-8, as every Windows name is but one that
// holds a lone surrogate (see Utf8FromUtf16).
bool CanName(const std::string& path);
// The path as the system's file functions take it: converted from UTF-8, and
// in its long form where it is too long for the short one; empty, naming
// no file, where the path is not valid UTF-8.
std::filesystem::path NativePath(const std::string& path);
#else
// Elsewhere a path is bytes, any of them.
inline bool CanName(const std::string& /*path*/) { return true; }
#endif

// Opens an existing file for reading; nothing for a directory.
std::unique_ptr<FileSource> OpenInput(const std::string& path);
// Creates the file, or empties it.
std::unique_ptr<FileSink> OpenOutput(const std::string& path);
// Whether both paths name one file, through links too.
bool SameFile(const std::string& a, const std::string& b);
// Makes a folder where none is; false if there is none afterwards.
bool MakeFolder(const std::string& path);
bool IsFolder(const std::string& path);

bool FileExists(const std::string& path);
// Whether both files hold the same bytes; false where either cannot be read.
bool SameBytes(const std::string& a, const std::string& b);

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

}  // namespace quillmar
