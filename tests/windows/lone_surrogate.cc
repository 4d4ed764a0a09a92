// Runs a program with arguments that hold a surrogate without its pair, as
// a name on NTFS may: each "%LONE%" in an argument stands for U+D800. The
// program inherits the standard streams; the exit status is its own.
//
//   lone_surrogate PROGRAM.exe ARGS...
// Exit status 255 when the program could not be started.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lone_surrogate PROGRAM ARGS...\n");
    return 255;
  }
  std::wstring command;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    for (size_t at; (at = arg.find(L"%LONE%")) != std::wstring::npos;) {
      arg.replace(at, 6, 1, static_cast<wchar_t>(0xD800));
    }
    command += L"\"" + arg + L"\" ";
  }
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                     &process) == 0) {
    std::fprintf(stderr, "cannot start the program\n");
    return 255;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 255;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
