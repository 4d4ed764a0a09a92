// Entry point: hands the command line, as UTF-8, to run control.
#include <string>
#include <vector>

#include "app/console.h"
#include "app/run.h"

#ifdef _WIN32
#include <filesystem>

// Windows hands the arguments over as UTF-16: a path such as "Düsen.kvr"
// then arrives whole, whatever the code page.
int wmain(int argc, wchar_t** argv) {
  quillmar::SecureStandardStreams();
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::u8string utf8 = std::filesystem::path(argv[i]).u8string();
    args.emplace_back(utf8.begin(), utf8.end());
  }
  quillmar::Console& console = quillmar::StandardConsole();
  int status = quillmar::Run(args, console);
  console.Flush();
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
