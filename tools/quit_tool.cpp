// Q8Quit.exe: ends a running launcher by setting its quit event. It opens the
// event by its name and never creates it, and shows nothing.
// Exit codes: 0 the event was set; 1 no launcher runs (there is no such
// event); 2 any other failure.
#include <windows.h>

#include "launcher/instance_guard/event_names.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE quit = OpenEventA(EVENT_MODIFY_STATE, FALSE, kQuitEventName);
  if (quit == nullptr) return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 2;
  const bool set = SetEvent(quit) != FALSE;
  CloseHandle(quit);
  return set ? 0 : 2;
}
