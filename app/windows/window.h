// How a Windows program starts and ends: a window opened for it alone,
// which must wait before it closes. The policy is plain logic, tested on
// every platform; the rest is Windows' own.
#pragma once

#include <span>
#include <string>

#include "app/engine/console.h"

namespace quillmar {

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
// When the console is the program's alone: says "Press Enter to close this
// window." and waits for Enter. Call after the run has ended and everything
// is written, with the run's exit status, which stays the program's. (A terminal's window
// outlives the programs run in it.)
void HoldWindowOfItsOwn(Console& console, int status);

// The whole of a Windows program's entry point: makes the standard streams
// safe, hands `run` the arguments as UTF-8, the console, and in a window of
// the program's own someone to ask, and holds that window open once
// everything is written. Returns the run's exit status.
int RunWindowsProgram(int argc, wchar_t** argv,
                      int (*run)(std::span<const std::string> args, Console& console,
                                 Asker* asker));
#endif

}  // namespace quillmar
