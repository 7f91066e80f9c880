// Narrates one run of the launcher from the outside: starts it, watches the
// named objects it and the game hold (and the demo game's start note), and
// prints each step with the time since the start and the time the step took.
// The launcher itself logs nothing.
//
//   DemoNarrator.exe [--quit-after=S] <path to Q8.exe> [arguments for the launcher...]
//
// With --quit-after=S it runs Q8Quit.exe (from its own folder) S seconds after
// the game has announced itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "launcher/command_line.h"
#include "launcher/instance_guard/event_names.h"
#include "launcher/presence/presence.h"
#include "tools/utf8.h"

namespace {

DWORD gStart;
DWORD gLast;

void Say(const std::string& text) {
  const DWORD now = GetTickCount() - gStart;
  std::printf("[%4lu.%03lu s] (+%3lu.%03lu s) %s\n", now / 1000, now % 1000, (now - gLast) / 1000,
              (now - gLast) % 1000, text.c_str());
  std::fflush(stdout);
  gLast = now;
}

bool EventExists(const char* name) {
  HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, name);
  if (h == nullptr) return false;
  CloseHandle(h);
  return true;
}

bool SemaphoreExists(const char* name) {
  HANDLE h = OpenSemaphoreA(SYNCHRONIZE, FALSE, name);
  if (h == nullptr) return false;
  CloseHandle(h);
  return true;
}

bool ReadFile(const std::wstring& path, std::string* text) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  char buffer[512];
  const size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  text->assign(buffer, n);
  return true;
}

std::wstring Folder(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\') + 1);
}

// The name the launcher at path probes for the game, by the launcher's own
// naming code, from its full path in the ANSI code page as it reads its own;
// false when it probes for none.
bool GamePresenceOf(const std::wstring& path, char (&name)[kNameBufferSize]) {
  constexpr DWORD kLongPath = 32768;
  static wchar_t full[kLongPath];
  static char ansi[4 * kLongPath];
  const DWORD n = GetFullPathNameW(path.c_str(), kLongPath, full, nullptr);
  return n != 0 && n < kLongPath &&
         WideCharToMultiByte(CP_ACP, 0, full, -1, ansi, sizeof ansi, nullptr, nullptr) != 0 &&
         BuildGamePresenceNameFor(ansi, name);
}

DWORD RunAndWait(const std::wstring& exe) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

}  // namespace

int main() {
  // Wide throughout, so arguments in any script reach the launcher unchanged.
  const wchar_t* arguments = CommandTail(GetCommandLineW());
  long quitAfterS = -1;
  if (std::wcsncmp(arguments, L"--quit-after=", 13) == 0) {
    quitAfterS = std::wcstol(arguments + 13, nullptr, 10);
    arguments = CommandTail(arguments);
  }
  if (*arguments == L'\0') {
    std::fprintf(stderr, "usage: DemoNarrator.exe [--quit-after=S] <path to Q8.exe> [arguments]\n");
    return 2;
  }
  std::wstring launcherPath(arguments, CommandTail(arguments));
  while (!launcherPath.empty() && launcherPath.back() == L' ') launcherPath.pop_back();
  std::wstring unquoted;
  for (wchar_t c : launcherPath) {
    if (c != L'"') unquoted += c;
  }
  const std::wstring startNote = Folder(unquoted) + L"demo-game.started";
  DeleteFileW(startNote.c_str());
  wchar_t selfPath[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, selfPath, MAX_PATH);
  const std::wstring quitTool = Folder(selfPath) + L"Q8Quit.exe";
  char gamePresence[kNameBufferSize];
  if (!GamePresenceOf(unquoted, gamePresence)) {
    std::fprintf(stderr, "the launcher at %s probes for no game name\n",
                 Utf8(unquoted.c_str()).c_str());
    return 2;
  }

  std::wstring commandLine = arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  gStart = GetTickCount();
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "could not start %s (error %lu)\n", Utf8(arguments).c_str(),
                 GetLastError());
    return 2;
  }
  // Which build runs: the 32-bit one ships, the x86-64 one stands in for it
  // where Wine runs only 64-bit programs.
  DWORD binaryType = 0;
  const char* build = !GetBinaryTypeW(unquoted.c_str(), &binaryType) ? "build unknown"
                      : binaryType == SCS_64BIT_BINARY               ? "x86-64 build"
                      : binaryType == SCS_32BIT_BINARY               ? "32-bit build"
                                                                     : "build unknown";
  Say(std::string("launcher started (") + build + "): " + Utf8(arguments));

  // Watches until the launcher has ended and the game, if it came, is gone.
  bool launcher = false, game = false, started = false, watching = false, ended = false;
  DWORD announcedAt = 0;
  for (;;) {
    const bool running = !ended && WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT;
    if (ended) Sleep(10);
    const bool nowLauncher = running && EventExists(kInstanceEventName);
    const bool nowGame = SemaphoreExists(gamePresence);
    std::string tail;
    if (nowLauncher != launcher) {
      Say(nowLauncher ? "launcher holds its instance and quit events: it is the one that runs"
                      : "launcher released its events");
    }
    if (!started && ReadFile(startNote, &tail)) {
      started = true;
      Say("game started with the tail \"" + tail + "\"");
    }
    if (nowGame && !game) {
      Say(std::string("game announced itself: ") + gamePresence);
      announcedAt = GetTickCount();
    }
    if (nowGame && running && !watching && GetTickCount() - announcedAt >= 300) {
      watching = true;
      Say("launcher is watching: it stays while the game runs");
    }
    if (nowGame && quitAfterS >= 0 && GetTickCount() - announcedAt >= quitAfterS * 1000ul) {
      quitAfterS = -1;
      Say("running Q8Quit.exe");
      Say("Q8Quit.exe set the quit event and ended with code " +
          std::to_string(RunAndWait(quitTool)));
    }
    if (game && !nowGame) {
      Say(running ? "game closed; grace period: the launcher waits up to 15 s for it to return"
                  : "game closed");
    }
    launcher = nowLauncher, game = nowGame;
    if (!running && !ended) {
      ended = true;
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      char line[96];
      std::snprintf(line, sizeof line, "launcher ended with exit code %ld (0x%08lx)",
                    static_cast<long>(code), code);
      Say(line);
    }
    if (ended && !game) break;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
