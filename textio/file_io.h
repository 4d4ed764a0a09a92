// The settings files on disk, as a byte source and a byte sink.
#pragma once

#include <cstdio>
#include <filesystem>
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

// Each system's half gives these as well, for the companion's files too.
// A regular file's size, if the file is one; only what the system says.
std::optional<uint64_t> RegularSize(std::FILE* f);
// Opens a path given in UTF-8 with the C library's mode string, unbuffered.
FileHandle OpenFile(const std::string& path, const char* mode);
// The path as the C++ file-system library takes it.
std::filesystem::path FsPath(const std::string& path);

}  // namespace quillmar
