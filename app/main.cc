// Entry point: hands the command line, as UTF-8, to run control.
#include <string>
#include <vector>

#include "app/console.h"
#include "app/run.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  quillmar::SecureStandardStreams();
  std::vector<std::string> args = quillmar::Utf8Arguments(argc, argv);
  quillmar::Console& console = quillmar::StandardConsole();
  int status = quillmar::Run(args, console);
  console.Flush();
  quillmar::HoldWindowOfItsOwn(console);
  return status;
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
