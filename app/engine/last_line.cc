// The last line of the messages, kept as they pass.
#include "app/engine/last_line.h"

#include <utility>

namespace quillmar {

void LastLine::Write(std::string_view text) {
  out_ << text;
  for (char c : text) {
    if (c != '\n') {
      line_ += c;
    } else if (!line_.empty()) {
      last_ = std::move(line_);
      line_.clear();
    }
  }
}

}  // namespace quillmar
