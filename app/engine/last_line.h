// A console that passes the messages on and keeps the last line: what
// ended a run that failed, for a summary of many files and for the page.
#pragma once

#include <string>
#include <string_view>

#include "app/engine/console.h"

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

}  // namespace quillmar
