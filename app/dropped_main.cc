// Entry point of the companion onto which settings files are dropped.
#include <span>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/dropped.h"

int wmain(int argc, wchar_t** argv) {
  quillmar::SecureStandardStreams();
  std::vector<std::string> args = quillmar::Utf8Arguments(argc, argv);
  std::span<const std::string> dropped(args);
  quillmar::Console& console = quillmar::StandardConsole();
  int status = quillmar::ConvertDropped(dropped.empty() ? dropped : dropped.subspan(1), console);
  console.Flush();
  quillmar::HoldWindowOfItsOwn(console);
  return status;
}
