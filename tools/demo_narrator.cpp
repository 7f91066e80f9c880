// Narrates one run of the launcher from the outside: starts it with the given
// arguments, watches the named objects it and the game hold, and prints each
// change with the time since the start. The launcher itself logs nothing.
//
//   DemoNarrator.exe <path to Q8.exe> [arguments for the launcher...]
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launch.h"

namespace {

DWORD gStart;
DWORD gLast;

void Say(const char* text) {
  const DWORD now = GetTickCount() - gStart;
  std::printf("[%4lu.%03lu s] (+%3lu.%03lu s) %s\n", now / 1000, now % 1000, (now - gLast) / 1000,
              (now - gLast) % 1000, text);
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

}  // namespace

int main() {
  const char* arguments = CommandTail(GetCommandLineA());
  if (*arguments == '\0') {
    std::fprintf(stderr, "usage: DemoNarrator.exe <path to Q8.exe> [arguments]\n");
    return 2;
  }
  char commandLine[2048];
  std::snprintf(commandLine, sizeof commandLine, "%s", arguments);
  // The launcher's presence probe for the game, for a launcher called Q8.exe.
  const char* gamePresence = "$$s$$q8main.exe";

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  gStart = GetTickCount();
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "could not start %s (error %lu)\n", commandLine, GetLastError());
    return 2;
  }
  char line[2300];
  std::snprintf(line, sizeof line, "launcher started: %s", commandLine);
  Say(line);

  // Watches until the launcher has ended and the game, if it came, is gone.
  bool launcher = false, game = false, quitEvent = false, ended = false;
  DWORD code = 0;
  for (;;) {
    const bool running = WaitForSingleObject(process.hProcess, ended ? 0 : 10) == WAIT_TIMEOUT;
    if (ended) Sleep(10);
    const bool nowLauncher = running && EventExists(kInstanceEventName);
    const bool nowQuit = running && EventExists(kQuitEventName);
    const bool nowGame = SemaphoreExists(gamePresence);
    if (nowLauncher != launcher) {
      Say(nowLauncher ? "launcher holds its instance event: it is the one that runs"
                      : "launcher released its instance event");
    }
    if (nowQuit != quitEvent && nowQuit) Say("launcher holds its quit event");
    if (nowGame != game) {
      std::snprintf(line, sizeof line, "%s %s", nowGame ? "game announced itself:" : "game closed:",
                    nowGame ? gamePresence : "its presence semaphore is gone");
      Say(line);
    }
    launcher = nowLauncher, quitEvent = nowQuit, game = nowGame;
    if (!running && !ended) {
      ended = true;
      GetExitCodeProcess(process.hProcess, &code);
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
