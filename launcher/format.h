// printf-style formatting into a fixed buffer: always terminated, never
// written past size. On Windows it uses the system C runtime's formatter,
// which keeps the executable small.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

inline void FormatText(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return;
  va_list args;
  va_start(args, format);
#if defined(_WIN32)
  // _vsnprintf leaves the buffer unterminated when the text fills it.
  _vsnprintf(buffer, size - 1, format, args);
  buffer[size - 1] = '\0';
#else
  std::vsnprintf(buffer, size, format, args);
#endif
  va_end(args);
}
