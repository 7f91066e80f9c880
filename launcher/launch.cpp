#include "launcher/launch.h"

#include <cstring>

#include "launcher/format.h"
#include "launcher/presence/presence.h"

const char* CommandTail(const char* commandLine) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine ? commandLine : "");
  bool quoted = false;
  while (*p != 0) {
    if (*p <= ' ' && !quoted) break;
    if (*p == '"') {
      quoted = !quoted;
    } else if (plat::IsLeadByte(*p) && p[1] != 0) {
      ++p;  // the trail byte belongs to this character, whatever its value
    }
    ++p;
  }
  while (*p >= 0x01 && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

void BuildTargetPath(char (&target)[kTargetBufferSize]) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, kGameExecutable, sizeof kGameExecutable);
  const unsigned long count = plat::OwnModulePath(target, plat::kMaxPath);
  if (count == 0) {
    // The call may have written into the buffer; fall back to the bare name,
    // which the shell resolves against the current directory.
    std::memcpy(target, kGameExecutable, sizeof kGameExecutable);
    return;
  }
  // Byte by byte on purpose: a "\" anywhere wins over a later "/", and a "/"
  // over a later ":".
  char* name = target;
  if (char* at = std::strrchr(target, '\\')) {
    name = at + 1;
  } else if (char* at = std::strrchr(target, '/')) {
    name = at + 1;
  } else if (char* at = std::strrchr(target, ':')) {
    name = at + 1;
  }
  // The buffer has room for the game's name after any position the path can
  // reach, so a name starting late is still written whole.
  std::memcpy(name, kGameExecutable, sizeof kGameExecutable);
}

const char* ErrorName(unsigned long code, char (&hex)[11]) {
  switch (code) {
    case 2:
      return "ERROR_FILE_NOT_FOUND";
    case 3:
      return "ERROR_PATH_NOT_FOUND";
    case 5:
      return "ERROR_ACCESS_DENIED";
    case 8:
      return "ERROR_NOT_ENOUGH_MEMORY";
    case 32:
      return "ERROR_SHARING_VIOLATION";
    case 1155:
      return "ERROR_NO_ASSOCIATION";
    case 1156:
      return "ERROR_DDE_FAIL";
    case 1157:
      return "ERROR_DLL_NOT_FOUND";
    case 1223:
      return "ERROR_CANCELLED";
    default:
      FormatText(hex, sizeof hex, "0x%08lx", code & 0xFFFFFFFFul);
      return hex;
  }
}

bool LaunchGame(const char* target, const char* tail) {
  plat::ShellExecuteInfo info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = plat::kSeeMaskFlagNoUi;  // no error dialog of the shell's own
  info.lpVerb = "open";
  info.lpFile = target;
  info.lpParameters = tail;
  info.nShow = plat::kSwShow;
  return plat::ShellExecuteFile(&info);
}

bool WaitForGameStartup() {
  const plat::Tick start = plat::TickCount();
  for (;;) {
    plat::SleepMs(kStartupPollMs);
    const plat::Tick now = plat::TickCount();
    const bool seen = IsGameRunning();
    // Unsigned difference: a wrap of the tick counter changes nothing.
    if (static_cast<plat::Tick>(now - start) >= kStartupTimeoutMs) return false;
    if (seen) return true;
  }
}
