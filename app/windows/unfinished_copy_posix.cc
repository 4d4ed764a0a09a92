// Unfinished copies on POSIX systems: a copy is held by a lock on it, and
// removed by a signal handler on an interruption.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "app/windows/unfinished_copy.h"

namespace quillmar {
namespace {

// The copies to remove on an interruption, where the handler can reach them
// while the program runs: no allocation. A copy past these is left to the
// next run, as one that a run killed outright leaves.
constexpr int kWatched = 64;
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

// Where the copy is watched for, if it is.
int Watch(const std::string& path) {
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
}

void Unwatch(int slot) {
  if (slot >= 0) watched[slot].used = false;
}

}  // namespace

std::unique_ptr<UnfinishedCopy> UnfinishedCopy::Create(const std::string& path) {
  for (;;) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd == -1) return nullptr;
    // Another run may have found the file between its making and its lock,
    // taken it for abandoned and removed it: then it is made again.
    struct stat st {};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0) {
      return std::unique_ptr<UnfinishedCopy>(new UnfinishedCopy(path, fd, Watch(path)));
    }
    close(fd);
  }
}

std::unique_ptr<FileSink> UnfinishedCopy::Writer() const {
  int fd = dup(hold_);
  if (fd == -1) return nullptr;
  FileHandle f(fdopen(fd, "wb"));
  if (!f) {
    close(fd);
    return nullptr;
  }
  std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return std::make_unique<FileSink>(std::move(f));
}

bool UnfinishedCopy::PutInPlace(const std::string& to) {
  // Once moved, the name may be another run's: not to be removed.
  Unwatch(watch_);
  watch_ = -1;
  in_place_ = std::rename(path_.c_str(), to.c_str()) == 0;
  if (in_place_) Release();
  return in_place_;
}

void UnfinishedCopy::Release() {
  close(hold_);
  hold_ = -1;
}

UnfinishedCopy::~UnfinishedCopy() {
  Unwatch(watch_);
  if (in_place_) return;
  unlink(path_.c_str());
  Release();
}

void RemoveAbandoned(const std::string& folder, std::string_view ending) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->path().native().ends_with(ending)) continue;
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
  }
}

FileHandle OpenBeside(const std::string& path) { return OpenFile(path, "rb"); }

}  // namespace quillmar
