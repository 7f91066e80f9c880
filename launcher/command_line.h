// The command-line rule: where the tail after the program name starts. The
// launcher's start-up code hands that tail to the entry function, which hands
// it to the game; the tools read their own tails by the same rule.
#pragma once

#include "launcher/platform/platform.h"

// The text after the program name in a full UTF-16 command line. The
// program-name token ends at the terminator or at the first character at or
// below U+0020 outside double quotes (each double quote toggles quoting);
// every character from U+0001 to U+0020 after it is skipped. The tail may be
// empty, never absent.
const plat::WideChar* CommandTail(const plat::WideChar* commandLine);

#if defined(_WIN32)
// The tools pass Windows' own wchar_t strings.
inline const wchar_t* CommandTail(const wchar_t* commandLine) {
  return reinterpret_cast<const wchar_t*>(
      CommandTail(reinterpret_cast<const plat::WideChar*>(commandLine)));
}
#endif
