// What a run tells beyond its messages.
#include "app/notes.h"

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

std::vector<std::string_view> Notes(const Tally& tally) {
  if (tally.lines == 0) return {"the file is empty."};
  std::vector<std::string_view> notes;
  if (tally.known_heads + tally.unknown_heads == 0) {
    notes.emplace_back("it names no head type: the Xaar500 factor was used.");
  }
  if (tally.unknown_heads > 0) {
    notes.emplace_back("its head type is not known: the Xaar500 factor was used.");
  }
  if (tally.rewritten == 0) notes.emplace_back("no line was rewritten.");
  return notes;
}

}  // namespace quillmar
