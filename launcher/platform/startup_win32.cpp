// The launcher's own start-up code: the process entry point. It computes the
// command tail from the full command line by the launcher's rule, calls
// WinMain and makes its answer the exit code. Owning this step keeps the tail
// independent of any C runtime's start-up code, and keeps that code (and its
// size) out of the executable: the launcher needs nothing it initialises.
#include <windows.h>

#include "launcher/launch.h"  // WinMain itself is declared by <windows.h>

extern "C" void WINAPI Q8Startup() {
  char* tail = const_cast<char*>(CommandTail(GetCommandLineA()));
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, tail, SW_SHOWDEFAULT)));
}
