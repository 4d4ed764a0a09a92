// What a run tells beyond its messages, for a summary of many files: the
// line that ended a run that failed, and what a copy that completed may
// still deserve a look for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/convert.h"

namespace quillmar {

// Passes the messages on, and keeps the last line: what ended a run that
// failed.
class LastLine final : public Console {
 public:
  explicit LastLine(Console& out) : out_(out) {}
  const std::string& last() const { return last_; }
  void Flush() override { out_.Flush(); }

 protected:
  void Write(std::string_view text) override;

 private:
  Console& out_;
  std::string line_, last_;
};

// What a copy that completed may still deserve a look for: nothing for a
// file with a known head type and a line rewritten.
std::vector<std::string_view> Notes(const Tally& tally);

}  // namespace quillmar
