#include "launcher/presence/presence.h"

#include <cstring>

#include "launcher/platform/platform.h"
#include "launcher/presence/name_tail.h"

namespace {

// Clears the buffer, writes the prefix and the launcher's own path after it;
// the path is cut to nothing when the call fails, as a failed call can leave
// part of one behind.
char* StartName(char (&name)[kNameBufferSize]) {
  char* path = Q8StartPresenceName(name, sizeof name);
  if (plat::OwnModulePath(path, kPathCapacity) == 0) path[0] = 0;
  return path;
}

// Builds the name from the launcher's own path.
template <std::size_t N>
bool BuildReplacingFromLast(char (&name)[kNameBufferSize], char mark, const char (&tail)[N]) {
  char* path = StartName(name);
  return FinishReplacingFromLast(name, path, mark, tail);
}

}  // namespace

void TrimToFileNameLower(char* s, std::size_t length) {
  Q8TrimToFileNameLower(s, length);
}

bool BuildGamePresenceName(char (&name)[kNameBufferSize]) {
  return BuildReplacingFromLast(name, '.', kGameSuffix);
}

bool BuildCompanionPresenceName(char (&name)[kNameBufferSize]) {
  return BuildReplacingFromLast(name, '\\', kCompanionTail);
}

bool ProbePresence(const char* name) {
  plat::Handle semaphore = plat::OpenNamedSemaphore(name);
  if (semaphore == nullptr) return false;
  plat::CloseHandle(semaphore);
  return true;
}

bool IsGameRunning() {
  char name[kNameBufferSize];
  return BuildGamePresenceName(name) && ProbePresence(name);
}

bool IsCompanionRunning() {
  char name[kNameBufferSize];
  return BuildCompanionPresenceName(name) && ProbePresence(name);
}
