// Files through the C library, in binary mode: the text conventions are the
// converter's own, the same on every platform. What the systems do alike is
// here; file_io_posix.cc and file_io_win32.cc hold the rest.
#include "textio/file_io.h"

#include <filesystem>
#include <system_error>

namespace quillmar {

std::optional<size_t> FileSource::Read(std::span<char> buf) {
  // The read that met the end says so; asking the system again would only
  // hear it twice, or wait on a terminal for more.
  if (std::feof(file_.get()) != 0) return 0;
  size_t n = std::fread(buf.data(), 1, buf.size(), file_.get());
  if (n == 0 && std::ferror(file_.get()) != 0) return std::nullopt;
  return n;
}

bool FileSource::EndsAt(uint64_t end) {
  // A size of 0 tells nothing: files such as those under /proc say so and
  // still hold text.
  if (!size_ || *size_ == 0) return true;
  return end == *size_ && RegularSize(file_.get()) == size_;
}

bool FileSink::Write(std::string_view bytes) {
  // Unbuffered: what the C library took, the system took.
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
  stored_ += n;
  return n == bytes.size();
}

bool FileSink::Close() {
  std::FILE* f = file_.release();
  return f != nullptr && std::fclose(f) == 0;
}

std::unique_ptr<FileSink> OpenOutput(const std::string& path) {
  FileHandle f = OpenFile(path, "wb");
  if (!f) return nullptr;
  return std::make_unique<FileSink>(std::move(f));
}

bool MakeFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directory(FsPath(path), ec);
  return IsFolder(path);
}

}  // namespace quillmar
