// The few operating-system operations the launcher needs, and nothing else.
//
// The launcher's logic calls only these. The real binaries link
// platform_win32.cpp, a thin file of direct Win32 calls; the host tests link a
// fake with a simulated clock and a table of named objects instead.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define Q8_WINAPI __attribute__((stdcall))
#else
#define Q8_WINAPI
#endif

namespace plat {

using Handle = void*;  // a kernel object, or nullptr for none
using Tick = std::uint32_t;
// A UTF-16 code unit: what the platform's wide calls take (wchar_t there).
using WideChar = char16_t;

constexpr unsigned long kErrorAccessDenied = 5;
constexpr unsigned long kErrorAlreadyExists = 183;
constexpr unsigned long kWaitObject0 = 0;
constexpr unsigned long kWaitFailed = 0xFFFFFFFF;
constexpr unsigned long kSeeMaskFlagNoUi = 0x400;
constexpr int kSwShow = 5;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbOk = 0x0;
// The room the launcher gives its module-path calls, in characters: the
// system's path limit. Every path buffer of the launcher is sized from it.
constexpr unsigned long kMaxPath = 260;

// Laid out exactly as the shell's SHELLEXECUTEINFOW, so the Win32 side can pass
// it through unchanged (it checks the layout at compile time).
struct ShellExecuteInfo {
  std::uint32_t cbSize;
  unsigned long fMask;
  void* hwnd;
  const WideChar* lpVerb;
  const WideChar* lpFile;
  const WideChar* lpParameters;
  const WideChar* lpDirectory;
  int nShow;
  void* hInstApp;
  void* lpIDList;
  const WideChar* lpClass;
  void* hkeyClass;
  unsigned long dwHotKey;
  void* hIconOrMonitor;
  void* hProcess;
};

// Creates or opens a named event: no security attributes, manual reset, not
// signalled. Leaves kErrorAlreadyExists as the last error when it existed.
Handle CreateNamedEvent(const char* name);
unsigned long LastError();
// Waits on one handle; answers kWaitObject0 when it is set, kWaitFailed when
// the wait fails, and any other value (the system's time-out code) when the
// time ran out.
unsigned long WaitOne(Handle handle, unsigned long milliseconds);
// Opens an existing named semaphore, not inheritable, asking only for the
// right to wait on it: all a presence probe needs, and what a program may
// still be granted on a semaphore that refuses it every other right. Leaves
// kErrorAccessDenied as the last error when the semaphore exists but grants
// this account not even that.
Handle OpenNamedSemaphore(const char* name);
void CloseHandle(Handle handle);
// Writes the launcher's own full path into buffer (capacity bytes, in the
// ANSI code page); answers the number of characters written, 0 on failure.
unsigned long OwnModulePath(char* buffer, unsigned long capacity);
// The same in UTF-16 (capacity units), the path as it is on disk.
unsigned long OwnModulePathWide(WideChar* buffer, unsigned long capacity);
Tick TickCount();
void SleepMs(unsigned long milliseconds);
// Starts a file through the shell; false with the last error set on failure.
bool ShellExecuteFile(ShellExecuteInfo* info);
// Modal message box without an owner window; returns when it is closed.
void ShowMessage(const WideChar* text, const WideChar* caption, unsigned type);

}  // namespace plat
