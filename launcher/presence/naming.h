// The presence naming rule's byte-string part, written in the C that C++ also
// compiles: the launcher's probes (presence.cpp) use it, and the build
// generates q8_presence.h, the helper for the game's developers, from the text
// between the two marks below. So the launcher and every program that
// announces itself name the semaphore by the same code.
//
// Between the marks: C99 and C++, no library call, nothing included, names
// that start with Q8 (they land in the game's own sources). q8_presence.h
// guards the rule with the same macro, so the two can meet in one source.
#ifndef Q8_PRESENCE_NAMING_RULE
#define Q8_PRESENCE_NAMING_RULE

#include <stddef.h>

// Q8_PATH_CAPACITY below is the launcher's path limit (plat::kMaxPath), written
// out for the C helper; presence.h checks that the two agree.

// q8_presence.h: naming rule begins
// A presence name is "$$s$$" and the program's file name, lowered. It is
// built in one buffer: the prefix, the program's full path written after it
// (at most Q8_PATH_CAPACITY bytes, as the module-path call writes it), and
// one byte that stays zero, so even a path that fills its room is terminated.
#define Q8_PRESENCE_PREFIX "$$s$$"
#define Q8_PRESENCE_PREFIX_LENGTH 5
#define Q8_PATH_CAPACITY 260
#define Q8_PRESENCE_NAME_SIZE (Q8_PRESENCE_PREFIX_LENGTH + Q8_PATH_CAPACITY + 1)

// Clears name (size bytes, at least Q8_PRESENCE_NAME_SIZE) and writes the
// prefix; answers where the path is to be written.
static inline char* Q8StartPresenceName(char* name, size_t size) {
  size_t i;
  for (i = 0; i < size; ++i) name[i] = 0;
  for (i = 0; i < Q8_PRESENCE_PREFIX_LENGTH; ++i) name[i] = Q8_PRESENCE_PREFIX[i];
  return name + Q8_PRESENCE_PREFIX_LENGTH;
}

// Cuts s (of length length) down to the text after its last "\", "/" or ":"
// (never looking at s[0]) and lowers A-Z byte by byte, in place. Every other
// byte, those of 0x80 and above included, stays: the name is the same bytes
// whatever the code page.
static inline void Q8TrimToFileNameLower(char* s, size_t length) {
  size_t k = length;
  size_t i;
  while (k > 0 && s[k] != '\\' && s[k] != '/' && s[k] != ':') --k;
  if (k > 0) {
    for (i = 0; k + i < length; ++i) s[i] = s[k + 1 + i];  // the terminator too
  }
  for (i = 0; s[i] != 0; ++i) {
    if (s[i] >= 'A' && s[i] <= 'Z') s[i] = (char)(s[i] + ('a' - 'A'));
  }
}

// Completes the name of the program whose own path was written after the
// prefix: the path becomes its lowered file name.
static inline void Q8FinishOwnPresenceName(char* path) {
  size_t length = 0;
  while (path[length] != 0) ++length;
  Q8TrimToFileNameLower(path, length);
}
// q8_presence.h: naming rule ends

#endif
