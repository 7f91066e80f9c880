// The launch: the entry function's pieces, from the target path to the
// startup wait. What reaches the game and the player (its path, its command
// tail, the message) is UTF-16, so any folder and any argument survive.
#pragma once

#include <cstddef>

#include "launcher/platform/platform.h"

constexpr plat::WideChar kGameExecutable[] = u"Q8Main.EXE";
constexpr plat::WideChar kMessageCaption[] = u"Game Launch Error";
constexpr char kLaunchFailedFormat[] = "Failed to start %s!\r\n( error : %s )";
constexpr char kTimedOutFormat[] =
    "Failed to start %s!\r\n( timed out waitinf for game to startup )";
constexpr unsigned long kStartupPollMs = 250;
constexpr unsigned long kStartupTimeoutMs = 30000;
constexpr std::size_t kMessageBufferSize = 512;

// The target path buffer, in UTF-16 units: room for the path the platform
// reports (up to kMaxPath units, unterminated on older systems) and a
// terminator, with the game's name written over its file name, plus room for
// that name when the file name starts so late that it would not fit
// (positions 251 to 260).
constexpr std::size_t kTargetPathSize = plat::kMaxPath + 1;
constexpr std::size_t kTargetBufferSize = kTargetPathSize + sizeof(kGameExecutable) / 2 - 1;

// The launcher's own path with its file name replaced by the game's, or the
// bare game name when the platform cannot tell the launcher's path.
void BuildTargetPath(plat::WideChar (&target)[kTargetBufferSize]);

// The name of a launch error code, or the code as "0x%08lx" written into hex.
const plat::WideChar* ErrorName(unsigned long code, plat::WideChar (&hex)[11]);

// Starts the game through the shell with the command tail as its parameters.
bool LaunchGame(const plat::WideChar* target, const plat::WideChar* tail);

// Polls every kStartupPollMs for seen(): true at the first poll that sees it,
// false at the first that began kStartupTimeoutMs or more after the start,
// whatever that one sees. The doctor waits by the same rule.
template <typename Probe>
bool WaitForStartup(Probe seen) {
  const plat::Tick start = plat::TickCount();
  for (;;) {
    plat::SleepMs(kStartupPollMs);
    const plat::Tick now = plat::TickCount();
    const bool present = seen();
    // Unsigned difference: a wrap of the tick counter changes nothing.
    if (static_cast<plat::Tick>(now - start) >= kStartupTimeoutMs) return false;
    if (present) return true;
  }
}

// The start-up wait for the game's presence, as the launcher probes it.
bool WaitForGameStartup();
