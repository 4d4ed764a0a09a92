// The companion for files dropped on it in Windows' Explorer: each file F is
// converted into converted\F beside it, so that no dropped file is written.
#pragma once

#include <span>
#include <string>

#include "app/engine/console.h"

namespace quillmar {

// Converts each dropped file (UTF-8 paths) into the folder "converted" in
// the file's own folder, under the file's name, making the folder where it
// is missing, and ends with a line that counts the files converted and
// those that failed. A copy that would land on a dropped file is not made.
// With an `asker`, a person in a window of the program's own: a copy worth
// a look does not replace an earlier copy that differs until the person
// says so, once for all of them, after the summary.
// Returns 0 when every file was converted and put in place, else 1.
int ConvertDropped(std::span<const std::string> dropped, Console& console, Asker* asker = nullptr);

}  // namespace quillmar
