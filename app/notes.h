// What a run tells beyond its messages, for a summary of many files and for
// the page: the line that ended a run that failed and where its text was
// found wrong, and what a copy that completed may still deserve a look for.
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

// Where and why a text was found not to be a settings file, as
// " (line 30: the file ends without a line break)"; nothing for any other
// outcome. The console's message stays as it is: callers read it.
std::string FaultDetail(const Outcome& outcome);

// What a copy that completed may still deserve a look for: nothing for a
// file with a known head type, named before the lines it rescales, and a
// line changed.
std::vector<std::string> Notes(const Tally& tally);

// A text as read, with what cannot be seen made visible: quoted, and each
// byte outside printable ASCII as \xNN.
std::string Visible(std::string_view text);

}  // namespace quillmar
