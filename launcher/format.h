// The texts the player sees, built into fixed UTF-16 buffers: always
// terminated, never written past their size.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "launcher/platform/platform.h"

// Copies format (ASCII) into buffer, each "%s" replaced by the next argument,
// a terminated UTF-16 string.
inline void FormatText(plat::WideChar* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return;
  va_list args;
  va_start(args, format);
  std::size_t length = 0;
  for (const char* f = format; *f != '\0'; ++f) {
    if (f[0] == '%' && f[1] == 's') {
      ++f;
      for (const plat::WideChar* s = va_arg(args, const plat::WideChar*); *s != 0; ++s) {
        if (length + 1 < size) buffer[length++] = *s;
      }
    } else if (length + 1 < size) {
      buffer[length++] = static_cast<unsigned char>(*f);
    }
  }
  buffer[length] = 0;
  va_end(args);
}
