#include "launcher/presence/presence.h"

#include <cstring>

#include "launcher/platform/platform.h"

namespace {

// Clears the buffer, writes the prefix and the launcher's own path after it.
// The path call's result is not needed: a failed call leaves only the prefix,
// which has no dot and no backslash.
char* StartName(char (&name)[kNameBufferSize]) {
  char* path = Q8StartPresenceName(name, sizeof name);
  plat::OwnModulePath(path, kPathCapacity);
  return path;
}

// Builds the name from the launcher's own path with everything from the last
// mark onwards replaced by tail (and its terminator), then trims the path
// part to its lowered file name. The buffer's slack past 266 bytes holds the
// longest tail written after the last byte the path call can fill.
template <std::size_t N>
bool BuildReplacingFromLast(char (&name)[kNameBufferSize], char mark, const char (&tail)[N]) {
  char* path = StartName(name);
  char* from = std::strrchr(name, mark);
  if (from == nullptr) return false;
  std::memcpy(from, tail, N);
  TrimToFileNameLower(path, std::strlen(path));
  return true;
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

void BuildOwnPresenceName(char (&name)[kNameBufferSize]) {
  Q8FinishOwnPresenceName(StartName(name));
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
