#include <gtest/gtest.h>

#include <algorithm>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launcher.h"
#include "launcher/watch.h"
#include "tests/scenario.h"

namespace {

// The game already runs when the launcher starts and closes at dropMs.
void GameRunsUntil(std::uint64_t dropMs) {
  fake::Hold(kGamePresence, fake::Type::kSemaphore);
  fake::At(dropMs, [] { fake::Drop(kGamePresence); });
}

// Probes made in [fromMs, toMs).
long ProbesBetween(std::uint64_t fromMs, std::uint64_t toMs) {
  const auto& times = fake::ProbeTimes();
  return std::count_if(times.begin(), times.end(),
                       [&](std::uint64_t t) { return t >= fromMs && t < toMs; });
}

// The run ended as the grace period that began at graceFromMs (the end of the
// first quit wait after which neither the game nor the companion was seen)
// ran out: its pass 15000 ms later is its last, and the run ends after that
// pass's pause.
void ExpectEndedByGracePeriodFrom(std::uint64_t graceFromMs) {
  EXPECT_EQ(fake::Elapsed(), graceFromMs + 15125);
}

}  // namespace

using Watch = Scenario;

TEST_F(Watch, AGracePeriodThatRunsOutEndsTheRunAtItsDeadline) {
  // Drop times at every phase of the 250 ms quit wait. The grace period begins
  // at the first quit wait's end that no longer sees the game; its pass 15000
  // ms later is the first at the deadline, and the run ends after its pause.
  const struct {
    std::uint64_t drop, end;
  } cases[] = {{5000, 5000 + 15125}, {5001, 5250 + 15125}, {5124, 5250 + 15125},
               {5125, 5250 + 15125}, {5249, 5250 + 15125}, {5250, 5250 + 15125},
               {7777, 8000 + 15125}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.drop);
    SetUp();
    GameRunsUntil(c.drop);
    EXPECT_EQ(RunLauncher(), kExitOk);
    EXPECT_EQ(fake::Elapsed(), c.end);
    // Every pass probes the game, then the companion.
    const auto& names = fake::ProbedNames();
    for (std::size_t i = 1; i + 1 < names.size(); i += 2) {
      ASSERT_EQ(names[i], kGamePresence) << i;
      ASSERT_EQ(names[i + 1], kCompanionPresence) << i;
    }
    TearDown();
  }
}

TEST_F(Watch, TheDeadlineIsTimeNotACountOfPasses) {
  // Nothing runs: the grace period begins after the first quit wait and its
  // probes. A pass lasts its two probes and the pause; with 79 ms probes
  // (283 ms a pass) one pass begins 53 * 283 = 14999 ms in, short of the
  // deadline, so two more passes follow.
  const struct { std::uint64_t probeMs, passes; } cases[] = {{0, 121}, {79, 55}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.probeMs);
    SetUp();
    fake::SetProbeMs(c.probeMs);
    InstanceGuard guard;
    WatchGame(guard);
    guard.Release();
    EXPECT_EQ(fake::Elapsed(), 250 + 2 * c.probeMs + c.passes * (125 + 2 * c.probeMs));
    TearDown();
  }
}

TEST_F(Watch, AfterALaunchTheLauncherStaysUntilTheGameHasGoneForAGracePeriod) {
  PresentBetween(kGamePresence, 1000, 60000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  EXPECT_EQ(fake::Launches().size(), 1u);
  // Seen at 1000 ms: the quit waits end on every 250 ms after it, 60000 too.
  ExpectEndedByGracePeriodFrom(60000);
}

TEST_F(Watch, TheGameReturningDuringAGracePeriodResumesWatching) {
  GameRunsUntil(5000);
  PresentBetween(kGamePresence, 12000, 30000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  // The grace pass at 12000 sees it and watching resumes after its pause, at
  // 12125; the quit wait that ends first after the game closes ends at
  // 12125 + 72 * 250.
  ExpectEndedByGracePeriodFrom(30125);
  // Back to the 250 ms pace while the game runs again: two probes a pass, the
  // passes at 13125 ... 28875.
  EXPECT_EQ(ProbesBetween(13000, 29000), 2 * (16000 / 250));
}

TEST_F(Watch, TheCompanionAloneKeepsTheLauncherResident) {
  GameRunsUntil(1000);
  PresentBetween(kCompanionPresence, 0, 60000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  ExpectEndedByGracePeriodFrom(60000);
}

TEST_F(Watch, QuitSetWhileTheGameRunsEndsTheRunAtTheNextQuitWait) {
  for (std::uint64_t quit : {4000u, 4001u, 7777u}) {
    SCOPED_TRACE(quit);
    SetUp();
    GameRunsUntil(100000);
    QuitAt(quit);
    EXPECT_EQ(RunLauncher(), kExitOk);
    EXPECT_EQ(fake::Elapsed(), quit) << "the quit wait returns as the event is set";
    EXPECT_TRUE(fake::Exists(kGamePresence)) << "the game keeps running";
    TearDown();
  }
}

TEST_F(Watch, QuitSetDuringAGracePeriodActsOnlyIfSomethingReturns) {
  // Nothing returns: the grace period runs its full length.
  GameRunsUntil(5000);
  QuitAt(10000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  ExpectEndedByGracePeriodFrom(5000);
  TearDown();

  // The game returns: the next quit wait sees the quit event at once.
  SetUp();
  GameRunsUntil(5000);
  QuitAt(10000);
  PresentBetween(kGamePresence, 12000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  EXPECT_EQ(fake::Elapsed(), 12000u + 125u) << "the pass at 12000 sees it, then pauses";
}

TEST_F(Watch, ATickWrapDuringAGracePeriodNeitherShortensNorLengthensIt) {
  for (plat::Tick start :
       {1000u, 0xFFFFFFFFu - 10000u, 0xFFFFFFFFu - 5000u - 15000u, 0xFFFFFFFFu - 5000u - 14990u}) {
    SCOPED_TRACE(start);
    fake::Reset(start);
    fake::SetModulePath(kLauncherPath);
    GameRunsUntil(5000);
    EXPECT_EQ(RunLauncher(), kExitOk);
    ExpectEndedByGracePeriodFrom(5000);
    TearDown();
  }
}

TEST_F(Watch, WithoutAQuitEventTheLoopStillKeepsItsPace) {
  // Another program took the quit event's name for a mutex.
  fake::Hold(kQuitEventName, fake::Type::kMutex);
  GameRunsUntil(10000);
  EXPECT_EQ(RunLauncher(), kExitOk);
  // Two probes every 250 ms while the game runs, not a spin.
  EXPECT_EQ(ProbesBetween(1000, 9000), 2 * (8000 / 250));
  ExpectEndedByGracePeriodFrom(10000);
  EXPECT_EQ(fake::References(kQuitEventName), 1);
}
