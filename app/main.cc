// Entry point: hands the command line, as UTF-8, to run control.
#include <span>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/run.h"
#ifdef _WIN32
#include "app/window.h"
#endif

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return quillmar::RunWindowsProgram(
      argc, argv, [](std::span<const std::string> args, quillmar::Console& console) {
        return quillmar::Run(args, console);
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
