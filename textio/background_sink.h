// A sink that writes its blocks from a thread of its own, so that the
// conversion goes on while the system copies them: on a large file, the
// writing takes a third of the run.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "textio/byte_io.h"

namespace quillmar {

// Writes in the order the bytes come, through `sink`. The first block is
// written at once, so that a small file starts no thread; later ones are
// handed over whole. Where no thread can be started, every block is
// written at once.
class BackgroundSink : public ByteSink {
 public:
  explicit BackgroundSink(std::unique_ptr<ByteSink> sink) : sink_(std::move(sink)) {}
  ~BackgroundSink() override;
  bool Write(std::string_view bytes) override;
  bool WriteBlock(Buffer& block, size_t used) override;
  bool Close() override;
  uint64_t Stored() override;
  ByteSink& Direct() override { return first_ ? *sink_ : *this; }

 private:
  // Waits until no block is queued or being written.
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Stop();
  void WriteQueued();

  std::unique_ptr<ByteSink> sink_;
  bool first_ = true;
  bool tried_ = false;  // to start the thread
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The block being written while busy_; the one free to swap in after.
  Buffer queued_{0};
  size_t queued_used_ = 0;
  bool busy_ = false;
  bool stopping_ = false;
  bool failed_ = false;
};

}  // namespace quillmar
