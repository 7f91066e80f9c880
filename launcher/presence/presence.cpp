#include "launcher/presence/presence.h"

#include <cstring>

#include "launcher/platform/platform.h"

namespace {

// Clears the buffer, writes the prefix and the launcher's own path after it.
// The path call's result is not needed: a failed call leaves only the prefix,
// which has no dot and no backslash.
char* StartName(char (&name)[kNameBufferSize]) {
  std::memset(name, 0, sizeof name);
  std::memcpy(name, kPresencePrefix, kPresencePrefixLength);
  char* path = name + kPresencePrefixLength;
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
  std::size_t k = length;
  while (k > 0) {
    const char c = s[k];
    if (c == '\\' || c == '/' || c == ':') break;
    --k;
  }
  if (k > 0) std::memmove(s, s + k + 1, length - k);  // the text after s[k], terminator included
  for (unsigned char* p = reinterpret_cast<unsigned char*>(s); *p != 0; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<unsigned char>(*p + ('a' - 'A'));
  }
}

bool BuildGamePresenceName(char (&name)[kNameBufferSize]) {
  return BuildReplacingFromLast(name, '.', kGameSuffix);
}

bool BuildCompanionPresenceName(char (&name)[kNameBufferSize]) {
  return BuildReplacingFromLast(name, '\\', kCompanionTail);
}

void BuildOwnPresenceName(char (&name)[kNameBufferSize]) {
  char* path = StartName(name);
  TrimToFileNameLower(path, std::strlen(path));
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
