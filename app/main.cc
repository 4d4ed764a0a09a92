// Entry point: hands the command line, as UTF-8, to run control.
#include <span>
#include <string>
#include <vector>

#include "app/control/run.h"
#include "app/engine/console.h"
#ifdef _WIN32
#include "app/windows/window.h"
#endif

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return quillmar::RunWindowsProgram(
      argc, argv,
      [](std::span<const std::string> args, quillmar::Console& console, quillmar::Asker* asker) {
        int status = quillmar::Run(args, console, asker);
        // The usage text shows in a window when the program was opened
        // alone: files are converted by dropping them on the companion.
        if (asker != nullptr && args.size() < 3) {
          console << "\nTo convert files, drop them on \"Convert dropped files.exe\".\n";
        }
        return status;
      });
}
#else
int main(int argc, char** argv) {
  quillmar::SecureStandardStreams();
  std::vector<std::string> args(argv, argv + argc);
  quillmar::Console& console = quillmar::StandardConsole();
  int status = quillmar::Run(args, console);
  console.Flush();
  return status;
}
#endif
