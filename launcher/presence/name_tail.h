// The step of the presence naming rule that follows the launcher's path:
// shared by the launcher's own probes (presence.cpp) and by the names built
// for a launcher at a given path (presence_for_path.cpp), so both are one rule.
#pragma once

#include <cstddef>
#include <cstring>

#include "launcher/presence/presence.h"

// With the launcher's path written at path, after the prefix in name:
// replaces everything from the last mark onwards by tail (and its
// terminator), then trims the path part to its lowered file name. Answers
// false when there is no mark. The buffer's slack past 266 bytes holds the
// longest tail written after the last byte the path call can fill.
template <std::size_t N>
inline bool FinishReplacingFromLast(char (&name)[kNameBufferSize], char* path, char mark,
                                    const char (&tail)[N]) {
  char* from = std::strrchr(name, mark);
  if (from == nullptr) return false;
  std::memcpy(from, tail, N);
  TrimToFileNameLower(path, std::strlen(path));
  return true;
}
