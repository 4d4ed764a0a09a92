// Showing the messages of the lines stored.
#include "app/engine/messages.h"

namespace quillmar {

void MessageList::ShowStored(uint64_t bytes, Console& console) {
  size_t from = shown_ == 0 ? 0 : ends_[shown_ - 1].second;
  size_t last = shown_;
  while (last < ends_.size() && ends_[last].first < bytes) ++last;
  if (last == shown_) return;
  console << std::string_view(text_).substr(from, ends_[last - 1].second - from);
  shown_ = last;
  if (shown_ == ends_.size()) {
    Clear();
  } else if (shown_ >= ends_.size() / 2) {
    // Some wait still: the shown half goes, so the held ones stay few.
    size_t gone = ends_[shown_ - 1].second;
    text_.erase(0, gone);
    ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(shown_));
    for (auto& end : ends_) end.second -= gone;
    shown_ = 0;
  }
}

}  // namespace quillmar
