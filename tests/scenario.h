// A fixture for tests on the fake platform: a launcher at C:\Games\Q8\Q8.exe,
// and after every test a check that nothing it opened is left open.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"

constexpr char kLauncherPath[] = "C:\\Games\\Q8\\Q8.exe";
constexpr char kGamePresence[] = "$$s$$q8main.exe";
constexpr char kCompanionPresence[] = "$$s$$vek launcher.exe";

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the launcher as its start-up code does, with the tail of the given
  // command line, and answers its exit code.
  static int RunLauncher(const std::u16string& commandLine = u"\"C:\\Games\\Q8\\Q8.exe\"");
  // The game (or the companion) holds its presence semaphore from atMs on,
  // until untilMs if that is given.
  static void PresentBetween(const std::string& name, std::uint64_t atMs,
                             std::uint64_t untilMs = UINT64_MAX);
  // Another program opens the quit event at atMs, sets it and keeps it open.
  static void QuitAt(std::uint64_t atMs);
};
