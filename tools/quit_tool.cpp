// Q8Quit.exe: ends a running launcher by setting its quit event. It opens the
// event by its name and never creates it, and shows nothing.
//   Q8Quit.exe                   sets the event
//   Q8Quit.exe --wait [SECONDS]  sets it, then waits until no launcher runs
//                                any more, up to SECONDS (default 60)
// A launcher acts on the event at once only while it watches the game: it
// defers it while it waits for the game to announce itself and through the
// grace period after the game has gone. An installer that replaces Q8.exe
// asks to wait, or it meets a file still in use.
// Exit codes: 0 the event was set (with --wait: and the launcher has ended);
// 1 no launcher runs (there is no such event; nothing was changed); 2 any
// other failure, a malformed --wait included; 3 a launcher still runs after
// SECONDS.
#include <windows.h>

#include <cwchar>
#include <initializer_list>

#include "launcher/command_line.h"
#include "launcher/instance_guard/event_names.h"

namespace {

constexpr wchar_t kWaitOption[] = L"--wait";
constexpr DWORD kDefaultWaitSeconds = 60;
// The longest wait whose milliseconds the 32-bit tick count still measures.
constexpr DWORD kMaxWaitSeconds = 0xFFFFFFFFu / 1000;
// Calm enough to cost nothing, short enough that an installer goes on within
// two tenths of a second of the launcher's end (a poll, and one more below).
constexpr DWORD kPollMs = 100;

const wchar_t* SkipBlanks(const wchar_t* p) {
  while (*p >= 1 && *p <= L' ') ++p;
  return p;
}

// Reads "--wait [SECONDS]" from the tail into seconds. Answers false for a
// tail that starts with the option but says more or other than that; any
// other tail leaves wait false and is ignored, as it always was.
bool ReadWaitOption(const wchar_t* tail, bool* wait, DWORD* seconds) {
  const size_t n = sizeof kWaitOption / sizeof kWaitOption[0] - 1;
  if (std::wcsncmp(tail, kWaitOption, n) != 0 || tail[n] > L' ') return true;
  *wait = true;
  const wchar_t* p = SkipBlanks(tail + n);
  if (*p == 0) return true;
  *seconds = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    *seconds = *seconds * 10 + static_cast<DWORD>(*p - L'0');
    if (*seconds > kMaxWaitSeconds) return false;
  }
  return p != SkipBlanks(tail + n) && *SkipBlanks(p) == 0;
}

// 1 while a launcher runs (its instance or its quit event exists: it lets go
// of the quit event last, as it ends), 0 once none does, -1 when that cannot
// be told. Each handle is closed at once: one kept open would keep the name,
// and a launcher that has ended would seem to run on.
int LauncherRuns() {
  for (const char* name : {kInstanceEventName, kQuitEventName}) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name);
    if (event != nullptr) {
      CloseHandle(event);
      return 1;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return -1;
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  bool wait = false;
  DWORD seconds = kDefaultWaitSeconds;
  if (!ReadWaitOption(CommandTail(GetCommandLineW()), &wait, &seconds)) return 2;
  HANDLE quit = OpenEventA(EVENT_MODIFY_STATE, FALSE, kQuitEventName);
  if (quit == nullptr) return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 2;
  const bool set = SetEvent(quit) != FALSE;
  CloseHandle(quit);
  if (!set) return 2;
  if (!wait) return 0;
  const DWORD start = GetTickCount();
  for (;;) {
    const int runs = LauncherRuns();
    if (runs == -1) return 2;
    if (runs == 0) {
      // Its process ends a moment after it has let go of its events: one
      // more poll, so that an installer that goes on finds its file free.
      Sleep(kPollMs);
      return 0;
    }
    // Unsigned difference: a wrap of the tick counter changes nothing.
    if (GetTickCount() - start >= seconds * 1000) return 3;
    Sleep(kPollMs);
  }
}
