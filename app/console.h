// The process's standard streams, made safe for a run: the console must never
// end up in the output file, and a console that goes away must not stop the
// conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
  Console& operator<<(uint64_t number);  // in decimal
  // Hands on what is held back; a console that is gone is no fault.
  virtual void Flush() {}

 protected:
  ~Console() = default;
  virtual void Write(std::string_view text) = 0;
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

// How a finished run finds its console.
struct ConsoleShare {
  unsigned processes = 0;  // attached to the console, this one included
  bool input_is_console = false;
  bool output_is_console = false;
  bool desktop_is_visible = false;  // not a service's or a hidden task's
};

// A window opened for this program alone, by a double-click or by files
// dropped on it, closes when the program ends, before its messages can be
// read. Such a run waits for Enter; a run from a console, a script, a
// scheduler or with its streams redirected never does.
bool WaitsBeforeClosing(const ConsoleShare& share);

#ifdef _WIN32
// Windows hands the arguments over as UTF-16: a path such as "Düsen.kvr"
// then arrives whole, whatever the code page. Returns them as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// When the console is the program's alone: says "Press Enter to close this
// window." and waits for Enter. Call after the run has ended and everything
// is written; the exit status stays the run's. (A terminal's window
// outlives the programs run in it.)
void HoldWindowOfItsOwn(Console& console);
#endif

}  // namespace quillmar
