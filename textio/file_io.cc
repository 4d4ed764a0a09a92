// Files through the C library, in binary mode: the text conventions are the
// converter's own, the same on every platform.
#include "textio/file_io.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <system_error>
#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

namespace quillmar {

#ifdef _WIN32
bool CanName(const std::string& path) {
  return path.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                             static_cast<int>(path.size()), nullptr, 0) > 0;
}

// On Windows the paths arrive as UTF-8, made from the wide command line, and
// the system takes UTF-16. Elsewhere a path is bytes, handed to the system as
// they are, whatever their encoding.
std::filesystem::path NativePath(const std::string& path) {
  // A name that is not valid UTF-8 came with a lone surrogate: it names no
  // file that can be opened.
  if (!CanName(path)) return {};
  std::filesystem::path given(std::u8string(path.begin(), path.end()));
  // A path in the \\?\ (or \\.\) form is already what the system takes;
  // made absolute it would become a path on the current drive.
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) return given;
  // Windows refuses a file's path of MAX_PATH (260) characters or more,
  // and a folder's of 248 or more (room for a short name in it), unless
  // the system allows long paths; the \\?\ form of the absolute path
  // passes whatever the setting, and is used from 248 on. Shorter paths
  // stay as typed, so that device names such as NUL keep their meaning.
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(given, ec);
  if (ec || full.native().size() < 248) return given;
  std::wstring w = full.lexically_normal().make_preferred().native();
  if (w.starts_with(L"\\\\?\\")) return w;
  if (w.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + w.substr(2);
  return L"\\\\?\\" + w;
}
#endif

namespace {
// A regular file's size, if the file is one; only what the system says.
std::optional<uint64_t> RegularSize(std::FILE* f) {
#ifdef _WIN32
  struct _stat64 st {};
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return std::nullopt;
#else
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
#endif
  return static_cast<uint64_t>(st.st_size);
}

// Opens a path given in UTF-8 with the C library's mode string.
FileHandle OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  FileHandle f(_wfopen(NativePath(path).c_str(), wmode.c_str()));
#else
  FileHandle f(std::fopen(path.c_str(), mode));
#endif
  // The program does its own buffering in large blocks.
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

}  // namespace

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

#ifndef _WIN32
std::optional<size_t> FileSource::ReadAt(uint64_t offset, std::span<char> buf) {
  for (;;) {
    ssize_t n = pread(fileno(file_.get()), buf.data(), buf.size(), static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return std::nullopt;
  }
}
#endif

bool FileSink::Write(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool FileSink::Close() {
  std::FILE* f = file_.release();
  return f != nullptr && std::fclose(f) == 0;
}

std::unique_ptr<FileSource> OpenInput(const std::string& path) {
  FileHandle f = OpenFile(path, "rb");
  if (!f) return nullptr;
#ifdef _WIN32
  // A C library may open a directory for reading.
  std::error_code ec;
  if (std::filesystem::is_directory(NativePath(path), ec)) return nullptr;
  std::optional<uint64_t> size = RegularSize(f.get());
  return std::make_unique<FileSource>(std::move(f), size);
#else
  // The same, asked of the file opened; a regular file's size lets it be
  // converted in stretches.
  struct stat st {};
  if (fstat(fileno(f.get()), &st) != 0) return std::make_unique<FileSource>(std::move(f));
  if (S_ISDIR(st.st_mode)) return nullptr;
  std::optional<uint64_t> size;
  if (S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
  return std::make_unique<FileSource>(std::move(f), size);
#endif
}

std::unique_ptr<FileSink> OpenOutput(const std::string& path) {
  FileHandle f = OpenFile(path, "wb");
  if (!f) return nullptr;
  return std::make_unique<FileSink>(std::move(f));
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  std::error_code ec;
  return std::filesystem::equivalent(NativePath(a), NativePath(b), ec);
#else
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
#endif
}

namespace {
// The path as the C++ file-system library takes it.
std::filesystem::path FsPath(const std::string& path) {
#ifdef _WIN32
  return NativePath(path);
#else
  return path;
#endif
}
}  // namespace

bool MakeFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directory(FsPath(path), ec);
  return IsFolder(path);
}

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(NativePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

std::unique_ptr<FileSink> OpenTemporary(const std::string& path) {
#ifdef _WIN32
  HANDLE h =
      CreateFileW(NativePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(h);
    return nullptr;
  }
  FileHandle f(_fdopen(fd, "wb"));
  if (!f) {
    _close(fd);
    return nullptr;
  }
  std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return std::make_unique<FileSink>(std::move(f));
#else
  return OpenOutput(path);
#endif
}

bool MoveOnto(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(NativePath(from).c_str(), NativePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void RemoveFile(const std::string& path) {
#ifdef _WIN32
  DeleteFileW(NativePath(path).c_str());
#else
  unlink(path.c_str());
#endif
}

bool FileExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesW(NativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
#endif
}

void RemoveFilesEndingWith(const std::string& folder, std::string_view ending) {
  // Compared in the system's own form: a name there need not be valid text.
  const auto tail = std::filesystem::path(std::string(ending)).native();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code in_use;  // by a run of its own: left to it
    if (it->path().native().ends_with(tail)) std::filesystem::remove(it->path(), in_use);
  }
}

namespace {

// The file to remove on an interruption, in memory that the handler can
// read while the program runs: no allocation, no lock.
#ifdef _WIN32
wchar_t interrupted_path[32768];
#else
char interrupted_path[4096];
#endif
std::atomic<bool> remove_on_interrupt{false};

#ifdef _WIN32
BOOL WINAPI RemoveOnInterrupt(DWORD /*event*/) {
  if (remove_on_interrupt) DeleteFileW(interrupted_path);
  return FALSE;  // and the program ends as it would have
}
#else
void RemoveOnInterrupt(int signal) {
  if (remove_on_interrupt) unlink(interrupted_path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

}  // namespace

void RemoveIfInterrupted(const std::string& path) {
  remove_on_interrupt = false;
#ifdef _WIN32
  static const bool handled = SetConsoleCtrlHandler(&RemoveOnInterrupt, TRUE) != 0;
  (void)handled;
  std::wstring native = NativePath(path).native();
  if (path.empty() || native.size() >= std::size(interrupted_path)) return;
  std::copy(native.begin(), native.end(), interrupted_path);
  interrupted_path[native.size()] = L'\0';
#else
  static const bool handled = [] {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, &RemoveOnInterrupt);
    return true;
  }();
  (void)handled;
  if (path.empty() || path.size() >= std::size(interrupted_path)) return;
  std::copy(path.begin(), path.end(), interrupted_path);
  interrupted_path[path.size()] = '\0';
#endif
  remove_on_interrupt = true;
}

}  // namespace quillmar
