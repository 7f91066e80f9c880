/* A stand-in game written in C, as a game's developer would use the presence
 * helper: nothing but <windows.h> and q8_presence.h. Copied beside the
 * launcher as Q8Main.EXE, it announces itself at once, runs for 2 s and ends.
 * Exit code 1 if it could not announce itself. */
#include <windows.h>

#include "q8_presence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  HANDLE presence = Q8PresenceBegin();
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  if (presence == NULL) return 1;
  Sleep(2000);
  Q8PresenceEnd(presence);
  return 0;
}
