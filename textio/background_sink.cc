// Writing in the background, one block at a time.
#include "textio/background_sink.h"

#include <exception>
#include <new>
#include <utility>

namespace quillmar {

BackgroundSink::~BackgroundSink() { Stop(); }

void BackgroundSink::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !busy_; });
}

void BackgroundSink::Stop() {
  if (!thread_.joinable()) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool BackgroundSink::Write(std::string_view bytes) {
  if (thread_.joinable()) {
    // Bytes too many for a block go straight out, after the queued ones;
    // the thread is idle meanwhile.
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    if (failed_) return false;
  }
  return sink_->Write(bytes);
}

bool BackgroundSink::WriteBlock(Buffer& block, size_t used) {
  if (first_) {
    first_ = false;
    return sink_->Write(std::string_view(block.data(), used));
  }
  if (!tried_) {
    tried_ = true;
    try {
      thread_ = std::thread(&BackgroundSink::WriteQueued, this);
    } catch (const std::exception&) {
      // No thread to be had, under a tight memory limit say: every block
      // is written at once.
    }
  }
  if (!thread_.joinable()) return sink_->Write(std::string_view(block.data(), used));
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    if (failed_) return false;
    // The full block goes to the thread; the one it wrote last comes back.
    if (queued_.size() != block.size()) {
      try {
        queued_ = Buffer(block.size());
      } catch (const std::bad_alloc&) {
        // This may be the last write of a run that ran out of memory.
        return sink_->Write(std::string_view(block.data(), used));
      }
    }
    std::swap(queued_, block);
    queued_used_ = used;
    busy_ = true;
  }
  changed_.notify_all();
  return true;
}

uint64_t BackgroundSink::Stored() {
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
  }
  return sink_->Stored();
}

bool BackgroundSink::Close() {
  Stop();
  bool closed = sink_->Close();
  return closed && !failed_;
}

void BackgroundSink::WriteQueued() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    lock.unlock();
    bool written = sink_->Write(std::string_view(queued_.data(), queued_used_));
    lock.lock();
    failed_ = failed_ || !written;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace quillmar
