// Run control: the command line, the two files, the messages and the status.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "app/convert.h"

namespace quillmar {

// Runs one conversion. args[0] is the program name, args[1] and args[2] the
// input and output paths (UTF-8). Returns the exit status.
int Run(std::span<const std::string> args, std::ostream& console);

// Prints the message that ends a conversion and returns the exit status.
int Report(Outcome outcome, const std::string& input, const std::string& output,
           std::ostream& console);

}  // namespace quillmar
