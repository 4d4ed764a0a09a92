// Standard streams on POSIX systems and on Windows.
#include "app/engine/console.h"

#include <cstdio>

#include "textio/file_io.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <string_view>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace quillmar {

namespace {

// Standard output, through the C library's buffer: written as the buffer
// fills and at the end, or line by line to a terminal.
class StdoutConsole final : public Console {
 public:
  void Flush() override { std::fflush(stdout); }

 protected:
  void Write(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
};

}  // namespace

#ifdef _WIN32

// Windows gives a program without a console no handles at all, and a file it
// opens never takes a standard handle's place; a write to a closed pipe fails
// without a signal. Nothing to do.
void SecureStandardStreams() {}

namespace {

// Collects the UTF-8 text and hands each finished line to the console as
// UTF-16: a line never ends inside a character.
class WindowsConsole final : public Console {
 public:
  explicit WindowsConsole(HANDLE console) : console_(console) {}
  ~WindowsConsole() { Flush(); }
  void Flush() override { Show(text_.size()); }

 protected:
  void Write(std::string_view text) override {
    text_.append(text);
    size_t lf = text_.rfind('\n');
    if (lf != std::string::npos) Show(lf + 1);
  }

 private:
  void Show(size_t n) {
    if (n == 0) return;
    int bytes = static_cast<int>(n);
    int units = MultiByteToWideChar(CP_UTF8, 0, text_.data(), bytes, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text_.data(), bytes, wide.data(), units);
    DWORD written = 0;
    WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    text_.erase(0, n);
  }

  HANDLE console_;
  std::string text_;
};

}  // namespace

Console& StandardConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || out == nullptr || GetConsoleMode(out, &mode) == 0) {
    static StdoutConsole file;  // a file or a pipe: the bytes as they are
    return file;
  }
  static WindowsConsole console(out);
  return console;
}

namespace {

// The volume and index that name the file behind a handle, if it is a file.
bool FileId(HANDLE h, BY_HANDLE_FILE_INFORMATION* id) {
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetFileType(h) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(h, id) != 0;
}

}  // namespace

bool IsConsoleFile(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION console;
  if (!FileId(GetStdHandle(STD_OUTPUT_HANDLE), &console)) return false;
  HANDLE h = CreateFileW(NativePath(path).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION file;
  bool same = FileId(h, &file) && file.dwVolumeSerialNumber == console.dwVolumeSerialNumber &&
              file.nFileIndexHigh == console.nFileIndexHigh &&
              file.nFileIndexLow == console.nFileIndexLow;
  CloseHandle(h);
  return same;
}

#else

void SecureStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    // open() takes the lowest free descriptor, which is this one: the
    // descriptors below it are open by now.
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
  }
  // The messages are a courtesy; the copy is the job. A reader that has gone
  // away must not cut the copy short.
  std::signal(SIGPIPE, SIG_IGN);
  // A limit on the size of files makes a write fail, to be reported as
  // any failed write is, rather than end the program.
  std::signal(SIGXFSZ, SIG_IGN);
}

Console& StandardConsole() {
  static StdoutConsole console;
  return console;
}

bool IsConsoleFile(const std::string& path) {
  struct stat console {};
  struct stat file {};
  if (fstat(STDOUT_FILENO, &console) != 0) return false;
  if (!S_ISREG(console.st_mode) && !S_ISFIFO(console.st_mode)) return false;
  return stat(path.c_str(), &file) == 0 && file.st_dev == console.st_dev &&
         file.st_ino == console.st_ino;
}

#endif

}  // namespace quillmar
