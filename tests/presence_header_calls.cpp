// The presence helper's calls as a game makes them, in a unit of their own:
// the mutation check compiles again every unit that a change to the naming
// rule reaches, and this one costs a tenth of the presence tests.
#include "q8_presence.h"  // generated; <windows.h> is tests/fake_windows/windows.h

HANDLE HeaderPresenceBegin() {
  return Q8PresenceBegin();
}

void HeaderPresenceEnd(HANDLE presence) {
  Q8PresenceEnd(presence);
}
