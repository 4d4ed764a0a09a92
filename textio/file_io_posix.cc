// Files on POSIX systems: a path is bytes, handed to the system as they
// are, whatever their encoding.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "textio/file_io.h"

namespace quillmar {

std::optional<uint64_t> RegularSize(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

FileHandle OpenFile(const std::string& path, const char* mode) {
  FileHandle f(std::fopen(path.c_str(), mode));
  // The program does its own buffering in large blocks.
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

std::filesystem::path FsPath(const std::string& path) { return path; }

std::optional<size_t> FileSource::ReadAt(uint64_t offset, std::span<char> buf) {
  for (;;) {
    ssize_t n = pread(fileno(file_.get()), buf.data(), buf.size(), static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return std::nullopt;
  }
}

std::unique_ptr<FileSource> OpenInput(const std::string& path) {
  FileHandle f = OpenFile(path, "rb");
  if (!f) return nullptr;
  // Not a directory, asked of the file opened; a regular file's size lets
  // it be converted in stretches.
  struct stat st {};
  if (fstat(fileno(f.get()), &st) != 0) return std::make_unique<FileSource>(std::move(f));
  if (S_ISDIR(st.st_mode)) return nullptr;
  std::optional<uint64_t> size;
  if (S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
  return std::make_unique<FileSource>(std::move(f), size);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace quillmar
