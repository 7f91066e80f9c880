#include "tests/scenario.h"

#include "launcher/instance_guard/event_names.h"
#include "launcher/command_line.h"
#include "launcher/launcher.h"

void Scenario::SetUp() {
  fake::Reset();
  fake::SetModulePath(kLauncherPath);
}

void Scenario::TearDown() {
  EXPECT_EQ(fake::OpenHandles(), 0) << "the launcher left handles open";
  EXPECT_EQ(fake::BadCloses(), 0) << "the launcher closed a handle it did not hold";
}

int Scenario::RunLauncher(const std::u16string& commandLine) {
  std::u16string tail = CommandTail(commandLine.c_str());
  return wWinMain(nullptr, nullptr, &tail[0], 1);
}

void Scenario::PresentBetween(const std::string& name, std::uint64_t atMs, std::uint64_t untilMs) {
  fake::At(atMs, [name] { fake::Hold(name, fake::Type::kSemaphore); });
  if (untilMs != UINT64_MAX) fake::At(untilMs, [name] { fake::Drop(name); });
}

void Scenario::QuitAt(std::uint64_t atMs) {
  fake::At(atMs, [] {
    fake::Hold(kQuitEventName, fake::Type::kEvent);
    fake::Signal(kQuitEventName);
  });
}
