#include "launcher/presence/presence.h"

#include <cstring>

#include "launcher/platform/platform.h"
#include "launcher/presence/name_tail.h"

namespace {

// Builds the name from the launcher's own path, written after the prefix. No
// name when the path call fails: it can leave part of a path behind.
template <std::size_t N>
bool BuildReplacingFromLast(char (&name)[kNameBufferSize], char mark, const char (&tail)[N]) {
  char* path = Q8StartPresenceName(name, sizeof name);
  if (plat::OwnModulePath(path, kPathCapacity) == 0) return false;
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
  // A semaphore that refuses even the right to wait on it exists all the
  // same: a program with more rights holds it, such as a game the player ran
  // as administrator, whose default descriptor grants only administrators.
  // No such name, or another kind of object under it, is no presence.
  if (semaphore == nullptr) return plat::LastError() == plat::kErrorAccessDenied;
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
