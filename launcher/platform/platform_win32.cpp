// The platform operations as direct Win32 calls (ANSI variants throughout).
#include "launcher/platform/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>

namespace plat {

static_assert(sizeof(ShellExecuteInfo) == sizeof(SHELLEXECUTEINFOA), "layout");
static_assert(offsetof(ShellExecuteInfo, fMask) == offsetof(SHELLEXECUTEINFOA, fMask), "layout");
static_assert(offsetof(ShellExecuteInfo, lpFile) == offsetof(SHELLEXECUTEINFOA, lpFile), "layout");
static_assert(offsetof(ShellExecuteInfo, lpParameters) == offsetof(SHELLEXECUTEINFOA, lpParameters),
              "layout");
static_assert(offsetof(ShellExecuteInfo, nShow) == offsetof(SHELLEXECUTEINFOA, nShow), "layout");
static_assert(offsetof(ShellExecuteInfo, hProcess) == offsetof(SHELLEXECUTEINFOA, hProcess),
              "layout");
#if !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit record is 60 bytes");
#endif
static_assert(WAIT_OBJECT_0 == kWaitObject0 && WAIT_TIMEOUT == kWaitTimeout &&
                  WAIT_FAILED == kWaitFailed,
              "wait results");
static_assert(ERROR_ALREADY_EXISTS == kErrorAlreadyExists &&
                  SEE_MASK_FLAG_NO_UI == kSeeMaskFlagNoUi,
              "constants");

bool IsLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

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
  return OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, name);
}

void CloseHandle(Handle handle) {
  ::CloseHandle(handle);
}

unsigned long OwnModulePath(char* buffer, unsigned long capacity) {
  return GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, capacity);
}

Tick TickCount() {
  return GetTickCount();
}

void SleepMs(unsigned long milliseconds) {
  Sleep(milliseconds);
}

bool ShellExecuteFile(ShellExecuteInfo* info) {
  return ShellExecuteExA(reinterpret_cast<SHELLEXECUTEINFOA*>(info)) != FALSE;
}

void ShowMessage(const char* text, const char* caption, unsigned type) {
  MessageBoxA(nullptr, text, caption, type);
}

}  // namespace plat
