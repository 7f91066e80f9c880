// The launcher's own start-up code: the process entry point. It computes the
// command tail from the full UTF-16 command line by the launcher's rule, calls
// wWinMain and makes its answer the exit code. Owning this step keeps the tail
// independent of any C runtime's start-up code, and keeps that code (and its
// size) out of the executable: the launcher needs nothing it initialises.
#include <windows.h>

#include "launcher/command_line.h"  // wWinMain itself is declared by <windows.h>

namespace {

// Players often install games in folders they can write to. From here on,
// DLLs loaded by name (by the shell during the launch, say) come from the
// system directory only, never from the launcher's folder or the current
// directory. Looked up at run time: systems without the call keep their
// default search order.
void LoadDllsFromSystemDirectoryOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (set != nullptr) set(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

}  // namespace

extern "C" void WINAPI Q8Startup() {
  LoadDllsFromSystemDirectoryOnly();
  wchar_t* tail = const_cast<wchar_t*>(CommandTail(GetCommandLineW()));
  ExitProcess(
      static_cast<UINT>(wWinMain(GetModuleHandleA(nullptr), nullptr, tail, SW_SHOWDEFAULT)));
}
