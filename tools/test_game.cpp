// A stand-in for the game in end-to-end tests, copied beside the launcher as
// Q8Main.EXE. Its command line is the launcher's tail, so it is steered by a
// file beside it, testgame.cfg, holding three numbers:
//   announce_ms  when to create its presence semaphore (-1: never)
//   hold_ms      how long to hold it (-1: until the end)
//   life_ms      how long to run in all (it ends early when the test sets the
//                stop event, tools/test_game_events.h)
// Each start appends "tail=<its command tail>" to starts.log beside it, the
// tail read from its UTF-16 command line and written in UTF-8. While it runs
// it holds its alive event, so tests can see it is there. Its
// folder may have any name: it finds its files by its UTF-16 path.
// Started with the tail "--end", it ends at once, having done nothing: what
// any program's start and end cost, for the tests to measure against.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "launcher/command_line.h"
#include "launcher/presence/announce.h"
#include "tools/test_game_events.h"
#include "tools/utf8.h"

namespace {

// In the long form ("\\?\"): a game at the end of a folder of the longest
// length the launcher takes has a file name's room left, not a longer one's.
FILE* OpenBesideMe(const wchar_t* file, const wchar_t* mode) {
  wchar_t path[2 * MAX_PATH] = L"\\\\?\\";
  const DWORD n = GetModuleFileNameW(nullptr, path + 4, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash != nullptr) slash[1] = L'\0';
  std::wcscat(path, file);
  return _wfopen(path, mode);
}

DWORD ToWait(long ms) {
  return ms < 0 ? INFINITE : static_cast<DWORD>(ms);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (std::wcscmp(CommandTail(GetCommandLineW()), L"--end") == 0) return 0;
  HANDLE alive = CreateEventA(nullptr, TRUE, FALSE, kTestGameAliveEvent);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kTestGameStopEvent);

  long announceMs = 0, holdMs = -1, lifeMs = 60000;
  if (FILE* cfg = OpenBesideMe(L"testgame.cfg", L"r")) {
    if (std::fscanf(cfg, "%ld %ld %ld", &announceMs, &holdMs, &lifeMs) != 3) {
      announceMs = 0, holdMs = -1, lifeMs = 60000;
    }
    std::fclose(cfg);
  }

  if (FILE* log = OpenBesideMe(L"starts.log", L"ab")) {
    std::fprintf(log, "tail=%s\n", Utf8(CommandTail(GetCommandLineW())).c_str());
    std::fclose(log);
  }

  const DWORD start = GetTickCount();
  auto left = [&]() -> DWORD {  // what remains of its life
    if (lifeMs < 0) return INFINITE;
    const long used = static_cast<long>(GetTickCount() - start);
    return static_cast<DWORD>(lifeMs > used ? lifeMs - used : 0);
  };

  if (announceMs >= 0 && WaitForSingleObject(stop, ToWait(announceMs)) == WAIT_TIMEOUT) {
    PresenceAnnouncement presence;
    WaitForSingleObject(stop, holdMs < 0 ? left() : static_cast<DWORD>(holdMs));
    presence.Release();
  }
  WaitForSingleObject(stop, left());
  CloseHandle(stop);
  CloseHandle(alive);
  return 0;
}
