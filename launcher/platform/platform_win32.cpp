// The platform operations as direct Win32 calls. Named objects go by their
// ANSI byte names, the contract with the game and the tools; what carries a
// player's folder or arguments (the launch and its message) is UTF-16.
#include "launcher/platform/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>

namespace plat {

static_assert(sizeof(ShellExecuteInfo) == sizeof(SHELLEXECUTEINFOW), "layout");
static_assert(offsetof(ShellExecuteInfo, fMask) == offsetof(SHELLEXECUTEINFOW, fMask), "layout");
static_assert(offsetof(ShellExecuteInfo, lpFile) == offsetof(SHELLEXECUTEINFOW, lpFile), "layout");
static_assert(offsetof(ShellExecuteInfo, lpParameters) == offsetof(SHELLEXECUTEINFOW, lpParameters),
              "layout");
static_assert(offsetof(ShellExecuteInfo, nShow) == offsetof(SHELLEXECUTEINFOW, nShow), "layout");
static_assert(offsetof(ShellExecuteInfo, hProcess) == offsetof(SHELLEXECUTEINFOW, hProcess),
              "layout");
#if !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit record is 60 bytes");
#endif
static_assert(sizeof(wchar_t) == sizeof(WideChar), "UTF-16 units");
static_assert(WAIT_OBJECT_0 == kWaitObject0 && WAIT_FAILED == kWaitFailed, "wait results");
static_assert(ERROR_ALREADY_EXISTS == kErrorAlreadyExists &&
                  SEE_MASK_FLAG_NO_UI == kSeeMaskFlagNoUi && MAX_PATH == kMaxPath,
              "constants");

Handle CreateNamedEvent(const char* name) {
  return CreateEventA(nullptr, TRUE, FALSE, name);
}

unsigned long LastError() {
  return GetLastError();
}

unsigned long WaitOne(Handle handle, unsigned long milliseconds) {
  return WaitForSingleObject(handle, milliseconds);
}

Handle OpenNamedSemaphore(const char* name) {
  return OpenSemaphoreA(SYNCHRONIZE, FALSE, name);
}

void CloseHandle(Handle handle) {
  ::CloseHandle(handle);
}

unsigned long OwnModulePath(char* buffer, unsigned long capacity) {
  return GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, capacity);
}

unsigned long OwnModulePathWide(WideChar* buffer, unsigned long capacity) {
  return GetModuleFileNameW(GetModuleHandleA(nullptr), reinterpret_cast<wchar_t*>(buffer),
                            capacity);
}

Tick TickCount() {
  return GetTickCount();
}

void SleepMs(unsigned long milliseconds) {
  Sleep(milliseconds);
}

bool ShellExecuteFile(ShellExecuteInfo* info) {
  return ShellExecuteExW(reinterpret_cast<SHELLEXECUTEINFOW*>(info)) != FALSE;
}

void ShowMessage(const WideChar* text, const WideChar* caption, unsigned type) {
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text),
              reinterpret_cast<const wchar_t*>(caption), type);
}

}  // namespace plat
