// Wake-ups per second of the watching launcher, counted on the simulated
// clock: every timed wait and every sleep is one wake-up.
#include <cstdio>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launcher.h"
#include "tests/fake_platform.h"

namespace {

constexpr char kGamePresence[] = "$$s$$q8main.exe";

// The game runs for the first 60 s and then closes, and the grace period runs
// out. Answers wake-ups per second while the game ran.
double WakeupsPerSecond(bool quitNameTaken) {
  fake::Reset();
  fake::SetModulePath("C:\\Games\\Q8\\Q8.exe");
  if (quitNameTaken) fake::Hold(kQuitEventName, fake::Type::kMutex);
  fake::Hold(kGamePresence, fake::Type::kSemaphore);
  int wakeupsAt60s = 0;
  fake::At(60000, [&] {
    wakeupsAt60s = fake::Calls(fake::Op::kWait) + fake::Calls(fake::Op::kSleep);
    fake::Drop(kGamePresence);
  });
  char16_t tail[] = u"";
  wWinMain(nullptr, nullptr, tail, 1);
  return wakeupsAt60s / 60.0;
}

}  // namespace

int main() {
  std::printf("%-46s %8s   %s\n", "watching, game running (simulated 60 s)", "per s", "target");
  std::printf("%-46s %8.2f   at most 4 (one 250 ms quit wait a pass)\n", "wake-ups per second",
              WakeupsPerSecond(false));
  std::printf("%-46s %8.2f   at most 4\n", "wake-ups per second, quit name taken",
              WakeupsPerSecond(true));
  return 0;
}
