// The window policy, and on Windows the entry sequence that both programs
// share.
#include "app/window.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <string_view>
#endif

namespace quillmar {

bool WaitsBeforeClosing(const ConsoleShare& share) {
  return share.processes == 1 && share.input_is_console && share.output_is_console &&
         share.desktop_is_visible;
}

#ifdef _WIN32

namespace {

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

ConsoleShare ThisConsole() {
  ConsoleShare share;
  DWORD ids[2];
  share.processes = GetConsoleProcessList(ids, 2);  // the count, even when more
  share.input_is_console = IsConsole(STD_INPUT_HANDLE);
  share.output_is_console = IsConsole(STD_OUTPUT_HANDLE);
  USEROBJECTFLAGS flags{};
  share.desktop_is_visible = GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags,
                                                       sizeof flags, nullptr) != 0 &&
                             (flags.dwFlags & WSF_VISIBLE) != 0;
  return share;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::u8string utf8 = std::filesystem::path(argv[i]).u8string();
    args.emplace_back(utf8.begin(), utf8.end());
  }
  return args;
}

void HoldWindowOfItsOwn(Console& console) {
  if (!WaitsBeforeClosing(ThisConsole())) return;
  console << "\nPress Enter to close this window.";
  console.Flush();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  // Keys pressed during the run must not close the window at once.
  FlushConsoleInputBuffer(in);
  // Ctrl+C would end the program with a status of its own; the wait ends
  // with Enter, or when the window is closed.
  SetConsoleCtrlHandler(nullptr, TRUE);
  wchar_t typed[64];
  DWORD n = 0;
  while (ReadConsoleW(in, typed, 64, &n, nullptr) != 0 && n > 0) {
    if (std::wstring_view(typed, n).find(L'\n') != std::wstring_view::npos) break;
  }
}

int RunWindowsProgram(int argc, wchar_t** argv,
                      int (*run)(std::span<const std::string> args, Console& console)) {
  SecureStandardStreams();
  std::vector<std::string> args = Utf8Arguments(argc, argv);
  Console& console = StandardConsole();
  int status = run(args, console);
  console.Flush();
  HoldWindowOfItsOwn(console);
  return status;
}

#endif

}  // namespace quillmar
