// Presence probes: the game and the companion launcher each hold a named
// semaphore while they run; the launcher learns that they run by opening it.
//
// A presence name is "$$s$$" followed by a lowered file name. The game's is
// built from the launcher's own path with its last extension replaced by
// "Main.exe"; the companion's is always "$$s$$vek launcher.exe".
#pragma once

#include <cstddef>

#include "launcher/platform/platform.h"
#include "launcher/presence/naming.h"

constexpr char kPresencePrefix[] = Q8_PRESENCE_PREFIX;
constexpr std::size_t kPresencePrefixLength = Q8_PRESENCE_PREFIX_LENGTH;
constexpr char kGameSuffix[] = "Main.exe";
constexpr char kCompanionTail[] = "\\Vek Launcher.exe";

// The name buffer: the prefix, 260 bytes for the module path, one byte that
// stays zero (266 bytes so far), and room for the longest tail past that, so a
// path as long as the platform reports still gets its name and nothing is ever
// written past the end.
constexpr std::size_t kPathCapacity = plat::kMaxPath;
static_assert(Q8_PATH_CAPACITY == kPathCapacity,
              "the presence helper's path room is the launcher's");
constexpr std::size_t kNameBufferSize = Q8_PRESENCE_NAME_SIZE + (sizeof(kCompanionTail) - 1);

// Cuts s (of length length) down to the text after its last "\", "/" or ":"
// (never looking at s[0]) and lowers A-Z byte by byte, in place
// (Q8TrimToFileNameLower, shared with the presence helper).
void TrimToFileNameLower(char* s, std::size_t length);

// Build a presence name from the launcher's own path into name. Answer false
// when the path gives none (no dot for the game, no backslash for the
// companion).
bool BuildGamePresenceName(char (&name)[kNameBufferSize]);
bool BuildCompanionPresenceName(char (&name)[kNameBufferSize]);
// The same for a launcher at launcherPath (ANSI, as its module-path call would
// report it) instead of this program's own path: what a launcher there probes.
bool BuildGamePresenceNameFor(const char* launcherPath, char (&name)[kNameBufferSize]);
bool BuildCompanionPresenceNameFor(const char* launcherPath, char (&name)[kNameBufferSize]);

// True if the named semaphore can be opened (it is closed again at once).
bool ProbePresence(const char* name);

bool IsGameRunning();
bool IsCompanionRunning();
