// The launcher's version, defined here and nowhere else: the version block in
// q8.rc, the end-to-end checks and scripts/release.sh (which names the bundle
// after it) all take it from these four numbers.
#pragma once

#define Q8_VERSION_MAJOR 1
#define Q8_VERSION_MINOR 0
#define Q8_VERSION_PATCH 0
#define Q8_VERSION_BUILD 1

// "1.0.0.1": the numbers joined by dots, as text.
// One literal, not several joined: the resource compiler does not join them.
#define Q8_VERSION_TEXT_OF(x) #x
#define Q8_VERSION_DOTTED(a, b, c, d) Q8_VERSION_TEXT_OF(a.b.c.d)
#define Q8_VERSION_STRING \
  Q8_VERSION_DOTTED(Q8_VERSION_MAJOR, Q8_VERSION_MINOR, Q8_VERSION_PATCH, Q8_VERSION_BUILD)
