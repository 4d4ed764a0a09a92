// Standard streams on POSIX systems and on Windows.
#include "app/console.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace quillmar {

#ifdef _WIN32

// Windows gives a program without a console no handles at all, and a file it
// opens never takes a standard handle's place; a write to a closed pipe fails
// without a signal. Nothing to do.
void SecureStandardStreams() {}

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
  std::filesystem::path p(std::u8string(path.begin(), path.end()));
  HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
