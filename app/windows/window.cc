// The window policy, and on Windows the entry sequence that both programs
// share.
#include "app/windows/window.h"

#include "app/windows/utf16.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
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

// The status that a Ctrl+C or Ctrl+Break during the wait ends the program
// with: the run's, as after Enter.
std::atomic<int> run_status{0};

// Ends the program at once: everything is written by then, and the waiting
// read need not be woken.
BOOL WINAPI EndTheWait(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  ExitProcess(static_cast<UINT>(run_status.load()));
}

// Whether Ctrl+C or Ctrl+Break came while a question waited: the answer is
// no, and the program goes on to say what it kept.
std::atomic<bool> question_interrupted{false};

BOOL WINAPI EndTheQuestion(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  question_interrupted = true;
  return TRUE;
}

// Reads one line typed at the console; false where none came (Ctrl+C, or
// a console that went away).
bool ReadTypedLine(std::wstring* typed) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  wchar_t part[64];
  DWORD n = 0;
  while (!question_interrupted && ReadConsoleW(in, part, 64, &n, nullptr) != 0 && n > 0) {
    typed->append(part, n);
    if (typed->find(L'\n') != std::wstring::npos) return !question_interrupted;
  }
  return false;
}

// Asks in the window of the program's own.
class WindowAsker final : public Asker {
 public:
  bool Ask(Console& console, std::string_view question) override {
    // Ready for the answer before the question shows. Keys pressed before
    // it are no answer to it.
    question_interrupted = false;
    SetConsoleCtrlHandler(&EndTheQuestion, TRUE);
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    console << question << " ";
    console.Flush();
    std::wstring typed;
    bool answered = ReadTypedLine(&typed);
    SetConsoleCtrlHandler(&EndTheQuestion, FALSE);
    if (!answered) console << "\n";  // the answer's line did not end
    while (!typed.empty() &&
           (typed.back() == L'\n' || typed.back() == L'\r' || typed.back() == L' ')) {
      typed.pop_back();
    }
    return answered && (typed == L"y" || typed == L"Y");
  }
};

}  // namespace

void HoldWindowOfItsOwn(Console& console, int status) {
  if (!WaitsBeforeClosing(ThisConsole())) return;
  // Ctrl+C, or Ctrl+Break, ends the wait as Enter does: left to the
  // system, it would end the program with a status of its own. Closing
  // the window ends the program as ever, with nothing left to write.
  run_status = status;
  SetConsoleCtrlHandler(&EndTheWait, TRUE);
  console << "\nPress Enter to close this window.";
  console.Flush();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  // Keys pressed during the run must not close the window at once.
  FlushConsoleInputBuffer(in);
  wchar_t typed[64];
  DWORD n = 0;
  while (ReadConsoleW(in, typed, 64, &n, nullptr) != 0 && n > 0) {
    if (std::wstring_view(typed, n).find(L'\n') != std::wstring_view::npos) break;
  }
}

int RunWindowsProgram(int argc, wchar_t** argv,
                      int (*run)(std::span<const std::string> args, Console& console,
                                 Asker* asker)) {
  SecureStandardStreams();
  std::vector<std::string> args = Utf8Arguments(argc, argv);
  Console& console = StandardConsole();
  WindowAsker asker;
  int status = run(args, console, WaitsBeforeClosing(ThisConsole()) ? &asker : nullptr);
  console.Flush();
  HoldWindowOfItsOwn(console, status);
  return status;
}

#endif

}  // namespace quillmar
