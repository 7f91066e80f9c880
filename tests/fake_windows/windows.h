// Stands in for <windows.h> when the host tests and the fuzz targets compile
// q8_presence.h: the module path comes from the fake platform (with its
// truncation and failures), and the semaphores created are recorded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "launcher/platform/platform.h"

using HANDLE = void*;
using HMODULE = void*;
using DWORD = unsigned long;
using LONG = long;

namespace fake_windows {
inline std::vector<std::string> created;  // every name passed to CreateSemaphoreA
inline int open = 0;                      // semaphores created and not closed
}  // namespace fake_windows

inline DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD capacity) {
  return module == nullptr ? plat::OwnModulePath(buffer, capacity) : 0;
}

inline HANDLE CreateSemaphoreA(void* attributes, LONG initial, LONG maximum, const char* name) {
  if (attributes != nullptr || initial != 0 || maximum != 1) return nullptr;
  fake_windows::created.push_back(name);
  ++fake_windows::open;
  return &fake_windows::open;
}

inline int CloseHandle(HANDLE handle) {
  if (handle != &fake_windows::open || fake_windows::open == 0) return 0;
  --fake_windows::open;
  return 1;
}
