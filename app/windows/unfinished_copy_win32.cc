// Unfinished copies on Windows: a copy is held by a handle that shares no
// right to delete it, and removed through that handle by a console handler
// on an interruption.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <system_error>

#include "app/windows/unfinished_copy.h"

namespace quillmar {
namespace {

// The copies to remove on an interruption, where the handler can reach them
// while the program runs: no allocation. A copy past these is left to the
// next run, as one that a run killed outright leaves.
constexpr int kWatched = 64;
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

// Where the copy is watched for, if it is.
int Watch(HANDLE hold) {
  static const bool handled = SetConsoleCtrlHandler(&RemoveOnInterrupt, TRUE) != 0;
  (void)handled;
  AcquireSRWLockExclusive(&watch_lock);
  int slot = 0;
  while (slot < kWatched && watched[slot] != nullptr) ++slot;
  if (slot < kWatched) watched[slot] = hold;
  ReleaseSRWLockExclusive(&watch_lock);
  return slot < kWatched ? slot : -1;
}

void Unwatch(int slot) {
  if (slot < 0) return;
  AcquireSRWLockExclusive(&watch_lock);
  watched[slot] = nullptr;
  ReleaseSRWLockExclusive(&watch_lock);
}

// A C library file over a handle of the system's; nothing, with the handle
// closed, where it cannot be made.
FileHandle OverHandle(HANDLE h, int flags, const char* mode) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd == -1) {
    CloseHandle(h);
    return nullptr;
  }
  FileHandle f(_fdopen(fd, mode));
  if (!f) _close(fd);
  return f;
}

}  // namespace

std::unique_ptr<UnfinishedCopy> UnfinishedCopy::Create(const std::string& path) {
  // Without FILE_SHARE_DELETE no other run can remove it while it is held,
  // and with DELETE this run can, or rename it, through the handle.
  HANDLE h = CreateFileW(NativePath(path).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<UnfinishedCopy>(new UnfinishedCopy(path, h, Watch(h)));
}

std::unique_ptr<FileSink> UnfinishedCopy::Writer() const {
  HANDLE h = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), hold_, GetCurrentProcess(), &h, 0, FALSE,
                      DUPLICATE_SAME_ACCESS) == 0) {
    return nullptr;
  }
  FileHandle f = OverHandle(h, _O_WRONLY, "wb");
  if (!f) return nullptr;
  std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return std::make_unique<FileSink>(std::move(f));
}

bool UnfinishedCopy::PutInPlace(const std::string& to) {
  // Once moved, the name may be another run's: not to be removed.
  Unwatch(watch_);
  watch_ = -1;
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
  if (in_place_) Release();
  return in_place_;
}

void UnfinishedCopy::Release() {
  CloseHandle(hold_);
  hold_ = nullptr;
}

UnfinishedCopy::~UnfinishedCopy() {
  Unwatch(watch_);
  if (in_place_) return;
  FILE_DISPOSITION_INFO remove{TRUE};
  SetFileInformationByHandle(hold_, FileDispositionInfo, &remove, sizeof remove);
  Release();
}

void RemoveAbandoned(const std::string& folder, std::string_view ending) {
  // Compared in the system's own form: a name there need not be valid text.
  const std::wstring tail = std::filesystem::path(std::string(ending)).native();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    // A held copy cannot be deleted: it is shared with no one who would.
    if (it->path().native().ends_with(tail)) DeleteFileW(it->path().c_str());
  }
}

FileHandle OpenBeside(const std::string& path) {
  // An unfinished copy is held open with the right to remove it, which a
  // plain open would refuse to share.
  HANDLE h = CreateFileW(NativePath(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return OverHandle(h, _O_RDONLY, "rb");
}

}  // namespace quillmar
