#include "launcher/watch.h"

#include "launcher/platform/platform.h"
#include "launcher/presence/presence.h"

namespace {

// Both probes, always both and in this order, so each pass costs the same.
bool GameOrCompanionRunning() {
  const bool game = IsGameRunning();
  const bool companion = IsCompanionRunning();
  return game || companion;
}

// Keeps probing while neither runs. Answers true as soon as a pass sees one
// of them again, false once a pass that began 15000 ms or more after the
// start has seen neither. The quit event is not looked at meanwhile.
bool ReturnsWithinGracePeriod() {
  const plat::Tick start = plat::TickCount();
  for (;;) {
    const plat::Tick now = plat::TickCount();
    const bool seen = GameOrCompanionRunning();
    plat::SleepMs(kGracePollMs);
    if (seen) return true;
    // Unsigned difference: a wrap of the tick counter changes nothing.
    if (static_cast<plat::Tick>(now - start) >= kGracePeriodMs) return false;
  }
}

}  // namespace

void WatchGame(InstanceGuard& guard) {
  for (;;) {
    if (guard.WaitForQuit(kQuitPollMs)) return;
    if (GameOrCompanionRunning()) continue;
    if (!ReturnsWithinGracePeriod()) return;
  }
}
