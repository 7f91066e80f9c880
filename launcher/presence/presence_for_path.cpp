// The presence names a launcher at a given path probes for, for tools that
// reason about a launcher other than themselves. Not part of the launcher.
#include <cstddef>

#include "launcher/presence/name_tail.h"
#include "launcher/presence/presence.h"

namespace {

// Writes launcherPath after the prefix as the launcher's module-path call
// would report it: at most kPathCapacity - 1 bytes and a terminator.
char* StartNameFor(char (&name)[kNameBufferSize], const char* launcherPath) {
  char* path = Q8StartPresenceName(name, sizeof name);
  for (std::size_t i = 0; i + 1 < kPathCapacity && launcherPath[i] != 0; ++i) {
    path[i] = launcherPath[i];
  }
  return path;
}

}  // namespace

bool BuildGamePresenceNameFor(const char* launcherPath, char (&name)[kNameBufferSize]) {
  char* path = StartNameFor(name, launcherPath);
  return FinishReplacingFromLast(name, path, '.', kGameSuffix);
}

bool BuildCompanionPresenceNameFor(const char* launcherPath, char (&name)[kNameBufferSize]) {
  char* path = StartNameFor(name, launcherPath);
  return FinishReplacingFromLast(name, path, '\\', kCompanionTail);
}
