// Every platform call the main scenarios make, failed in turn: whatever
// fails, the launcher must end, with an exit code its paths allow, a message
// box exactly when it ends with -1, and nothing left open.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launcher.h"
#include "tests/scenario.h"

namespace {

struct ScenarioSetup {
  const char* name;
  void (*arrange)();
};

void Hold(const char* name, std::uint64_t from, std::uint64_t until) {
  const std::string n = name;
  fake::At(from, [n] { fake::Hold(n, fake::Type::kSemaphore); });
  fake::At(until, [n] { fake::Drop(n); });
}

void SetQuit(std::uint64_t at) {
  fake::At(at, [] {
    fake::Hold(kQuitEventName, fake::Type::kEvent);
    fake::Signal(kQuitEventName);
  });
}

const ScenarioSetup kScenarios[] = {
    {"success, then the game closes", [] { Hold(kGamePresence, 1000, 5000); }},
    {"not first", [] { fake::Hold(kInstanceEventName, fake::Type::kEvent); }},
    {"game already running",
     [] {
       fake::Hold(kGamePresence, fake::Type::kSemaphore);
       fake::At(3000, [] { fake::Drop(kGamePresence); });
     }},
    {"launch failure", [] { fake::ScriptLaunch(false, 2); }},
    {"time-out", [] {}},
    {"grace period runs out while the companion comes and goes",
     [] {
       Hold(kGamePresence, 500, 2000);
       Hold(kCompanionPresence, 1000, 9000);
     }},
    // The game closes at last, so that a launcher that cannot see the quit
    // event (its creation failed) still ends.
    {"quit", [] {
       Hold(kGamePresence, 500, 60000);
       SetQuit(4000);
     }}};

const fake::Op kOperations[] = {fake::Op::kCreateEvent,   fake::Op::kLastError,  fake::Op::kWait,
                                fake::Op::kOpenSemaphore, fake::Op::kModulePath, fake::Op::kTick,
                                fake::Op::kSleep,         fake::Op::kLaunch};

const char* OpName(fake::Op op) {
  switch (op) {
    case fake::Op::kCreateEvent:
      return "event creation";
    case fake::Op::kLastError:
      return "last error";
    case fake::Op::kWait:
      return "timed wait";
    case fake::Op::kOpenSemaphore:
      return "semaphore open";
    case fake::Op::kModulePath:
      return "module path";
    case fake::Op::kTick:
      return "tick";
    case fake::Op::kSleep:
      return "sleep";
    case fake::Op::kLaunch:
      return "launch";
    default:
      return "no";
  }
}

// Runs the scenario, with the given call of an operation failing if any.
int RunScenario(const ScenarioSetup& scenario, fake::Op failOp = fake::Op::kCount, int call = 0) {
  fake::Reset();
  fake::SetModulePath(kLauncherPath);
  scenario.arrange();
  if (failOp != fake::Op::kCount) fake::FailCall(failOp, call);
  fake::SetRunLabel(std::string(scenario.name) + ", " + OpName(failOp) + " call " +
                    std::to_string(call) + " failing");
  char tail[] = "-window";
  return WinMain(nullptr, nullptr, tail, 1);
}

}  // namespace

TEST(FaultMatrix, NoPlatformFailureBreaksTheLaunchersPromises) {
  int runs = 0;
  for (const ScenarioSetup& scenario : kScenarios) {
    // A recorded run without faults says how often each operation is called.
    RunScenario(scenario);
    int counts[static_cast<int>(fake::Op::kCount)];
    for (fake::Op op : kOperations) counts[static_cast<int>(op)] = fake::Calls(op);

    for (fake::Op op : kOperations) {
      for (int call = 1; call <= counts[static_cast<int>(op)]; ++call) {
        SCOPED_TRACE(testing::Message()
                     << scenario.name << ": " << OpName(op) << " call " << call << " fails");
        const int code = RunScenario(scenario, op, call);
        ++runs;
        ASSERT_TRUE(code == kExitOk || code == kExitStartFailed) << code;
        const auto& messages = fake::Messages();
        // -1 only after a launch that failed or was never announced, and
        // always with exactly one message box; 0 never with one.
        ASSERT_EQ(messages.size(), code == kExitStartFailed ? 1u : 0u);
        if (code == kExitStartFailed) {
          ASSERT_EQ(fake::Launches().size(), 1u);
          ASSERT_EQ(messages[0].caption, "Game Launch Error");
          ASSERT_EQ(messages[0].text.rfind("Failed to start ", 0), 0u);
        }
        ASSERT_LE(fake::Launches().size(), 1u);
        ASSERT_EQ(fake::OpenHandles(), 0);
        ASSERT_EQ(fake::BadCloses(), 0);
      }
    }
  }
  std::printf("fault matrix: %d runs, each with one failed platform call\n", runs);
  EXPECT_GT(runs, 1000);
}
