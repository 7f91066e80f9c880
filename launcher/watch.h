// Residency: once the game runs, the launcher stays while the game or the
// companion launcher runs, and returns when the quit event is set or both have
// been gone for a whole grace period.
#pragma once

#include "launcher/instance_guard/instance_guard.h"

constexpr unsigned long kQuitPollMs = 250;
constexpr unsigned long kGracePeriodMs = 15000;
constexpr unsigned long kGracePollMs = 125;

void WatchGame(InstanceGuard& guard);
