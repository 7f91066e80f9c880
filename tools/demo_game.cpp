// A small demo game for trying the launcher: copied beside it as Q8Main.EXE,
// it opens a window, announces itself by holding its presence semaphore while
// the window is open, and closes itself after a few seconds.
// Options (the launcher passes its own command tail on):
//   --seconds=N  close after N seconds (default 5)
//   --stay       stay open until closed by hand or by the window manager
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/launch.h"
#include "launcher/presence/presence.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;
char gText[512];

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      InflateRect(&area, -12, -12);
      DrawTextA(dc, gText, -1, &area, DT_LEFT | DT_WORDBREAK);
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const char* tail = CommandTail(GetCommandLineA());
  const bool stay = std::strstr(tail, "--stay") != nullptr;
  long seconds = 5;
  if (const char* s = std::strstr(tail, "--seconds=")) seconds = std::strtol(s + 10, nullptr, 10);
  if (seconds <= 0) seconds = 5;

  char name[kNameBufferSize];
  BuildOwnPresenceName(name);
  std::snprintf(gText, sizeof gText,
                "Q8 demo game\n\nHolding the presence semaphore %s while this window is open.\n"
                "Command tail: \"%s\"\n%s",
                name, tail,
                stay ? "Close this window to end the game." : "Closing by itself shortly.");

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "Q8DemoGame";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("Q8DemoGame", "Q8 demo game", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 520, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  // Announce only once the window is up: the launcher then knows the game runs.
  HANDLE presence = CreateSemaphoreA(nullptr, 0, 1, name);
  if (!stay) SetTimer(window, kCloseTimer, static_cast<UINT>(seconds * 1000), nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (presence != nullptr) CloseHandle(presence);
  return 0;
}
