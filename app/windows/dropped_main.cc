// Entry point of the companion onto which settings files are dropped.
#include <span>
#include <string>

#include "app/windows/dropped.h"
#include "app/windows/window.h"

int wmain(int argc, wchar_t** argv) {
  return quillmar::RunWindowsProgram(
      argc, argv,
      [](std::span<const std::string> args, quillmar::Console& console, quillmar::Asker* asker) {
        // The first argument names the program; the rest were dropped.
        return quillmar::ConvertDropped(args.empty() ? args : args.subspan(1), console, asker);
      });
}
