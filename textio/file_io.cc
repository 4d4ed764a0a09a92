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
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif
#include <cstring>

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
  // Unbuffered: what the C library took, the system took.
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
  stored_ += n;
  return n == bytes.size();
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

bool FileExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesW(NativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
#endif
}

namespace {
// Opens a file to read, beside whoever holds it: an unfinished copy is
// held open with the right to remove it, which a plain open would refuse
// to share on Windows.
FileHandle OpenBeside(const std::string& path) {
#ifdef _WIN32
  HANDLE h = CreateFileW(NativePath(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(h);
    return nullptr;
  }
  FileHandle f(_fdopen(fd, "rb"));
  if (!f) _close(fd);
  return f;
#else
  return OpenFile(path, "rb");
#endif
}
}  // namespace

bool SameBytes(const std::string& a, const std::string& b) {
  FileHandle fa = OpenBeside(a), fb = OpenBeside(b);
  if (!fa || !fb) return false;
  static constexpr size_t kPart = 1 << 16;
  auto pa = std::make_unique<char[]>(kPart), pb = std::make_unique<char[]>(kPart);
  for (;;) {
    size_t na = std::fread(pa.get(), 1, kPart, fa.get());
    size_t nb = std::fread(pb.get(), 1, kPart, fb.get());
    if (na != nb || std::memcmp(pa.get(), pb.get(), na) != 0) return false;
    if (na < kPart) return std::ferror(fa.get()) == 0 && std::ferror(fb.get()) == 0;
  }
}

namespace {

// The copies to remove on an interruption, where the handler can reach them
// while the program runs: no allocation. A copy past these is left to the
// next run, as one that a run killed outright leaves.
constexpr int kWatched = 64;
#ifdef _WIN32
// The handler runs on a thread of its own: the lock keeps a copy from
// being put in place, or its handle closed, while it is being removed.
SRWLOCK watch_lock = SRWLOCK_INIT;
HANDLE watched[kWatched];

// Removes each copy through its own handle: no other can delete it while
// it is held. The files go when the program ends and the handles close.
BOOL WINAPI RemoveOnInterrupt(DWORD /*event*/) {
  AcquireSRWLockExclusive(&watch_lock);  // kept: the program ends
  for (HANDLE h : watched) {
    FILE_DISPOSITION_INFO remove{TRUE};
    if (h != nullptr) SetFileInformationByHandle(h, FileDispositionInfo, &remove, sizeof remove);
  }
  return FALSE;  // and the program ends as it would have
}
#else
struct Watched {
  std::atomic<bool> used{false};
  char path[4096];
};
Watched watched[kWatched];

void RemoveOnInterrupt(int signal) {
  for (Watched& w : watched) {
    if (w.used) unlink(w.path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

// Where the copy is watched for, if it is.
int Watch([[maybe_unused]] const std::string& path, [[maybe_unused]] void* hold) {
#ifdef _WIN32
  static const bool handled = SetConsoleCtrlHandler(&RemoveOnInterrupt, TRUE) != 0;
  (void)handled;
  AcquireSRWLockExclusive(&watch_lock);
  int slot = 0;
  while (slot < kWatched && watched[slot] != nullptr) ++slot;
  if (slot < kWatched) watched[slot] = hold;
  ReleaseSRWLockExclusive(&watch_lock);
  return slot < kWatched ? slot : -1;
#else
  static const bool handled = [] {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, &RemoveOnInterrupt);
    return true;
  }();
  (void)handled;
  if (path.size() >= sizeof watched[0].path) return -1;
  for (int slot = 0; slot < kWatched; ++slot) {
    Watched& w = watched[slot];
    if (w.used) continue;
    std::copy(path.begin(), path.end(), w.path);
    w.path[path.size()] = '\0';
    w.used = true;
    return slot;
  }
  return -1;
#endif
}

void Unwatch(int slot) {
  if (slot < 0) return;
#ifdef _WIN32
  AcquireSRWLockExclusive(&watch_lock);
  watched[slot] = nullptr;
  ReleaseSRWLockExclusive(&watch_lock);
#else
  watched[slot].used = false;
#endif
}

}  // namespace

std::unique_ptr<UnfinishedCopy> UnfinishedCopy::Create(const std::string& path) {
#ifdef _WIN32
  // Without FILE_SHARE_DELETE no other run can remove it while it is held,
  // and with DELETE this run can, or rename it, through the handle.
  HANDLE h = CreateFileW(NativePath(path).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<UnfinishedCopy>(new UnfinishedCopy(path, h, Watch(path, h)));
#else
  for (;;) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd == -1) return nullptr;
    // Another run may have found the file between its making and its lock,
    // taken it for abandoned and removed it: then it is made again.
    struct stat st {};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0) {
      return std::unique_ptr<UnfinishedCopy>(new UnfinishedCopy(path, fd, Watch(path, nullptr)));
    }
    close(fd);
  }
#endif
}

std::unique_ptr<FileSink> UnfinishedCopy::Writer() const {
#ifdef _WIN32
  HANDLE h = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), hold_, GetCurrentProcess(), &h, 0, FALSE,
                      DUPLICATE_SAME_ACCESS) == 0) {
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(h);
    return nullptr;
  }
#else
  int fd = dup(hold_);
  if (fd == -1) return nullptr;
#endif
#ifdef _WIN32
  FileHandle f(_fdopen(fd, "wb"));
  if (!f) _close(fd);
#else
  FileHandle f(fdopen(fd, "wb"));
  if (!f) close(fd);
#endif
  if (!f) return nullptr;
  std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return std::make_unique<FileSink>(std::move(f));
}

bool UnfinishedCopy::PutInPlace(const std::string& to) {
  // Once moved, the name may be another run's: not to be removed.
  Unwatch(watch_);
  watch_ = -1;
#ifdef _WIN32
  // Renamed through the handle it is never free for another run to take.
  // The system wants the new name whole, in its own form.
  std::error_code ec;
  std::wstring name = std::filesystem::absolute(NativePath(to), ec).native();
  if (ec) return false;
  if (name.starts_with(L"\\\\?\\")) name.erase(0, 4);
  name = name.starts_with(L"\\\\") ? L"\\??\\UNC\\" + name.substr(2) : L"\\??\\" + name;
  const size_t size = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
  auto buffer = std::make_unique<std::byte[]>(size);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), rename->FileName);
  in_place_ =
      SetFileInformationByHandle(hold_, FileRenameInfo, rename, static_cast<DWORD>(size)) != 0;
#else
  in_place_ = std::rename(path_.c_str(), to.c_str()) == 0;
#endif
  if (in_place_) Release();
  return in_place_;
}

void UnfinishedCopy::Release() {
#ifdef _WIN32
  CloseHandle(hold_);
  hold_ = nullptr;
#else
  close(hold_);
  hold_ = -1;
#endif
}

UnfinishedCopy::~UnfinishedCopy() {
  Unwatch(watch_);
  if (in_place_) return;
#ifdef _WIN32
  FILE_DISPOSITION_INFO remove{TRUE};
  SetFileInformationByHandle(hold_, FileDispositionInfo, &remove, sizeof remove);
#else
  unlink(path_.c_str());
#endif
  Release();
}

void RemoveAbandoned(const std::string& folder, std::string_view ending) {
  // Compared in the system's own form: a name there need not be valid text.
  const auto tail = std::filesystem::path(std::string(ending)).native();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->path().native().ends_with(tail)) continue;
#ifdef _WIN32
    // A held copy cannot be deleted: it is shared with no one who would.
    DeleteFileW(it->path().c_str());
#else
    // A held copy is locked. The lock is taken before the file is removed,
    // so that a run that made it just now and waits for the lock sees it
    // gone and makes another.
    const char* path = it->path().c_str();
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd == -1) continue;
    struct stat held {
    }, named{};
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && lstat(path, &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      unlink(path);
    }
    close(fd);
#endif
  }
}

}  // namespace quillmar
