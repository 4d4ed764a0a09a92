// What a run tells beyond its messages, for a summary of many files and for
// the page: where its text was found wrong, and what a copy that completed
// may still deserve a look for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/engine/outcome.h"

namespace quillmar {

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
