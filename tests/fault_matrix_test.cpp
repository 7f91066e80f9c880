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

struct Operation {
  fake::Op op;
  const char* name;
};

const Operation kOperations[] = {{fake::Op::kCreateEvent, "event creation"},
                                 {fake::Op::kLastError, "last error"},
                                 {fake::Op::kWait, "timed wait"},
                                 {fake::Op::kOpenSemaphore, "semaphore open"},
                                 {fake::Op::kModulePath, "module path"},
                                 {fake::Op::kTick, "tick"},
                                 {fake::Op::kSleep, "sleep"},
                                 {fake::Op::kLaunch, "launch"}};

const Operation kNoFault = {fake::Op::kCount, "no fault"};

// Runs the scenario, with the given call of an operation failing.
int RunScenario(const ScenarioSetup& scenario, const Operation& failing, int call,
                const std::string& label) {
  fake::Reset();
  fake::SetModulePath(kLauncherPath);
  scenario.arrange();
  if (failing.op != fake::Op::kCount) fake::FailCall(failing.op, call);
  fake::SetRunLabel(label);
  char16_t tail[] = u"-window";
  return wWinMain(nullptr, nullptr, tail, 1);
}

}  // namespace

TEST(FaultMatrix, NoPlatformFailureBreaksTheLaunchersPromises) {
  int runs = 0;
  for (const ScenarioSetup& scenario : kScenarios) {
    // A recorded run without faults says how often each operation is called.
    RunScenario(scenario, kNoFault, 0, std::string(scenario.name) + ", " + kNoFault.name);
    int counts[static_cast<int>(fake::Op::kCount)];
    for (const Operation& o : kOperations) counts[static_cast<int>(o.op)] = fake::Calls(o.op);

    for (const Operation& o : kOperations) {
      for (int call = 1; call <= counts[static_cast<int>(o.op)]; ++call) {
        const std::string label = std::string(scenario.name) + ", " + o.name + " call " +
                                  std::to_string(call) + " failing";
        SCOPED_TRACE(label);
        const int code = RunScenario(scenario, o, call, label);
        ++runs;
        ASSERT_TRUE(code == kExitOk || code == kExitStartFailed) << code;
        const auto& messages = fake::Messages();
        // -1 only after a launch that failed or was never announced, and
        // always with exactly one message box; 0 never with one.
        ASSERT_EQ(messages.size(), code == kExitStartFailed ? 1u : 0u);
        if (code == kExitStartFailed) {
          ASSERT_EQ(fake::Launches().size(), 1u);
          ASSERT_EQ(messages[0].caption, u"Game Launch Error");
          ASSERT_EQ(messages[0].text.rfind(u"Failed to start ", 0), 0u);
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
