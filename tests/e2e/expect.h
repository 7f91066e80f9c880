// Checks shared by the end-to-end scenarios.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/e2e/harness.h"

// The launcher's -1 as a Windows parent sees it.
constexpr DWORD kExitStartFailed = 0xFFFFFFFF;

// Waits for the launcher to end and answers how long after since it took.
inline DWORD EndsAfter(const Process& launcher, DWORD since, DWORD timeoutMs, DWORD* code) {
  if (!launcher.Wait(timeoutMs, code)) return 0xFFFFFFFF;
  return GetTickCount() - since;
}

// The launcher ends with 0 as a grace period that began when the game (and
// the companion) went at since runs out.
inline void ExpectEndedByGracePeriodAfter(const Process& launcher, DWORD since) {
  DWORD code = 1234;
  const DWORD after = EndsAfter(launcher, since, 30000, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_GE(after, 15100u);
  EXPECT_LE(after, 16500u);
}

// Waits up to timeoutMs for the launcher's message box, notes when it was
// seen (in seenAt, if given), checks its caption and text, presses OK and
// checks that the launcher then ends with -1.
inline void ExpectFailureBox(const Process& launcher, DWORD timeoutMs, const std::string& text,
                             DWORD* seenAt = nullptr) {
  MessageBoxSeen box;
  ASSERT_TRUE(WaitForMessageBox(launcher.id(), timeoutMs, &box));
  if (seenAt != nullptr) *seenAt = GetTickCount();
  EXPECT_EQ(box.caption, "Game Launch Error");
  EXPECT_EQ(box.text, text);
  EXPECT_TRUE(launcher.Running()) << "the launcher waits until the box is closed";
  PressOk(box.window);
  DWORD code = 0;
  ASSERT_TRUE(launcher.Wait(10000, &code));
  EXPECT_EQ(code, kExitStartFailed);
}
