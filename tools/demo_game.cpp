// A small demo game for trying the launcher: copied beside it as Q8Main.EXE,
// it opens a window, announces itself by holding its presence semaphore while
// the window is open, and closes itself after a few seconds. On start it
// writes its command tail (read from its UTF-16 command line, written in
// UTF-8) to demo-game.started beside it, for the narrator.
// Options (the launcher passes its own command tail on):
//   --seconds=N    close after N seconds (default 5)
//   --stay         stay open until the window is closed
//   --until-quit   stay open until the launcher's quit event is set (Q8Quit.exe)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "launcher/instance_guard/event_names.h"
#include "launcher/command_line.h"
#include "launcher/presence/announce.h"
#include "tools/utf8.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;
wchar_t gText[768];

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      InflateRect(&area, -12, -12);
      DrawTextW(dc, gText, -1, &area, DT_LEFT | DT_WORDBREAK);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kCloseTimer) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void NoteStart(const wchar_t* tail) {
  wchar_t path[MAX_PATH + 32] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (wchar_t* slash = std::wcsrchr(path, L'\\')) std::wcscpy(slash + 1, L"demo-game.started");
  if (FILE* note = _wfopen(path, L"wb")) {
    std::fputs(Utf8(tail).c_str(), note);
    std::fclose(note);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const wchar_t* tail = CommandTail(GetCommandLineW());
  NoteStart(tail);
  const bool stay = std::wcsstr(tail, L"--stay") != nullptr;
  const bool untilQuit = std::wcsstr(tail, L"--until-quit") != nullptr;
  long seconds = 5;
  if (const wchar_t* s = std::wcsstr(tail, L"--seconds="))
    seconds = std::wcstol(s + 10, nullptr, 10);
  if (seconds <= 0) seconds = 5;
  // Opened, never created: it is the launcher's.
  HANDLE quit = untilQuit ? OpenEventA(SYNCHRONIZE, FALSE, kQuitEventName) : nullptr;

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "Q8DemoGame";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("Q8DemoGame", "Q8 demo game", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 560, 220, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  // Announce only once the window is up: the launcher then knows the game runs.
  PresenceAnnouncement presence;
  _snwprintf(gText, sizeof gText / sizeof gText[0] - 1,
             L"Q8 demo game\n\nHolding the presence semaphore %hs while this window is open.\n"
             L"Command tail: \"%ls\"\n%ls",
             presence.Name(), tail,
             untilQuit ? L"Closes when the launcher's quit event is set (Q8Quit.exe)."
             : stay    ? L"Close this window to end the game."
                       : L"Closing by itself shortly.");
  InvalidateRect(window, nullptr, TRUE);
  if (!stay && !untilQuit)
    SetTimer(window, kCloseTimer, static_cast<UINT>(seconds * 1000), nullptr);

  for (;;) {
    const DWORD count = quit != nullptr ? 1 : 0;
    const DWORD woke = MsgWaitForMultipleObjects(count, &quit, FALSE, INFINITE, QS_ALLINPUT);
    if (count == 1 && woke == WAIT_OBJECT_0) DestroyWindow(window);
    MSG message;
    bool ended = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) ended = true;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (ended) break;
  }
  presence.Release();
  if (quit != nullptr) CloseHandle(quit);
  return 0;
}
