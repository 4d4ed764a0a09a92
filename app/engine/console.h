// The process's standard streams, made safe for a run: the console must never
// end up in the output file, and a console that goes away must not stop the
// conversion.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmar {

// Where the messages go, as text. Not a std::ostream: a program that makes
// one sets up the C++ locales first, which takes longer than converting a
// small file.
class Console {
 public:
  Console& operator<<(std::string_view text) {
    Write(text);
    return *this;
  }
  Console& operator<<(uint64_t number) {  // in decimal
    char digits[20];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    Write(std::string_view(digits, static_cast<size_t>(end - digits)));
    return *this;
  }
  // Hands on what is held back; a console that is gone is no fault.
  virtual void Flush() {}

 protected:
  ~Console() = default;
  virtual void Write(std::string_view text) = 0;
};

// A question to the person at the console, in a window of the program's
// own: nothing else has a person who can answer.
class Asker {
 public:
  // Puts the question, waits for the answer, and says whether it was yes:
  // y or Y, then Enter. Enter alone, anything else, Ctrl+C or a console
  // that goes away is no.
  virtual bool Ask(Console& console, std::string_view question) = 0;

 protected:
  ~Asker() = default;
};

// Opens the null device on any of descriptors 0, 1 and 2 that is closed, so
// that no file opened later can take their place and receive the messages;
// and makes a console write to a closed pipe fail rather than end the run.
// Call before anything is opened or printed.
void SecureStandardStreams();

// Where the messages go. A Windows console is written in UTF-16, so that
// paths with any letters show right without changing the console's code
// page, a setting that would outlast the run; anywhere else the messages go
// to standard output as they are (UTF-8).
Console& StandardConsole();

// Whether the path names the regular file or pipe that standard output
// writes to. A terminal or the null device never counts: messages and
// copy do not mix there.
bool IsConsoleFile(const std::string& path);

}  // namespace quillmar
