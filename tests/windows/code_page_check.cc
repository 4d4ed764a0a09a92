// Runs the Windows program on a console and checks that the console's code
// page is the same afterwards: a program that changed it would leave the
// user's command prompt showing every later program's text wrongly.
//
//   code_page_check PROGRAM.exe ARGS...
// Exit status 0 when the code page is unchanged, 1 when it changed, 2 when
// the check could not be made.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: code_page_check PROGRAM ARGS...\n");
    return 2;
  }
  if (GetConsoleWindow() == nullptr && AllocConsole() == 0) {
    std::fprintf(stderr, "no console\n");
    return 2;
  }
  // A code page that no program would pick by chance.
  constexpr UINT kBefore = 850;
  if (SetConsoleOutputCP(kBefore) == 0) {
    std::fprintf(stderr, "cannot set the code page\n");
    return 2;
  }
  std::wstring command;
  for (int i = 1; i < argc; ++i) command += L"\"" + std::wstring(argv[i]) + L"\" ";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                     &process) == 0) {
    std::fprintf(stderr, "cannot start the program\n");
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  UINT after = GetConsoleOutputCP();
  std::printf("code page before %u, after %u\n", kBefore, after);
  return after == kBefore ? 0 : 1;
}
